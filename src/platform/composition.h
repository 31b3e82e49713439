#pragma once
// Input-method composition colours: how the parts of a composition the input method marks are told apart
// and drawn with the colour entries of the editor.

#include <QInputMethodEvent>
#include <QList>

#include <array>
#include <vector>

namespace zv {

// One input-method composition colour entry: text colour, background colour (0x00BBGGRR), effects word.
struct CompColor {
    unsigned text = 0;
    unsigned background = 0xFFFFFF;
    unsigned effects = 0;
    bool operator==(const CompColor &) const = default;
};
using CompColorTable = std::array<CompColor, 4>;

// The parts of a composition, numbered as their colour entries.
enum CompClass { CompTyping = 0, CompTarget = 1, CompConverted = 2, CompBoundary = 3 };

// The colour entry of each of the length characters of a composition, from the input method's attributes
// (those other than text formats are passed over). The text formats covering a character are merged in
// order, as the text layout shows them, and the merged format decides (recorded from fcitx5 and ibus with
// anthy and mozc):
//  - a background (the highlighted clause the conversion works on): entry 1, whatever its underline;
//    a highlighted part that is also bold: the clause whose boundary is being changed (entry 3);
//  - a text colour, bold or italic without a background: a converted clause (entry 2);
//  - nothing, or an underline of any style: text being typed (entry 0); but while another part of the
//    composition is highlighted the composition is being converted, and such a part is a converted
//    clause (entry 2).
std::vector<int> classifyComposition(int length, const QList<QInputMethodEvent::Attribute> &attributes);

// The attributes a composition is shown with: the input method's attributes other than text formats, then
// the characters' entries' colours in runs; every part stays underlined.
QList<QInputMethodEvent::Attribute> compositionAttributes(int length,
                                                          const QList<QInputMethodEvent::Attribute> &attributes,
                                                          const CompColorTable &colors);

} // namespace zv
