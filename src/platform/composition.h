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
// (those other than text formats are passed over). How the input method marks a part decides the entry:
//  - no format, or an underline only: text being typed (entry 0); but while another part of the same
//    composition is highlighted the composition is being converted, and such a part is a converted
//    clause (entry 2);
//  - a background (a highlighted or reversed part: the clause the conversion works on): entry 1;
//  - a highlighted part that is also bold or has a dotted, dashed or wavy underline: the clause whose
//    boundary is being changed (entry 3);
//  - any other formatting (a text colour, bold, italic) without a background: a converted clause (entry 2).
std::vector<int> classifyComposition(int length, const QList<QInputMethodEvent::Attribute> &attributes);

// The attributes a composition is shown with: the input method's attributes other than text formats, then
// the characters' entries' colours in runs; every part stays underlined.
QList<QInputMethodEvent::Attribute> compositionAttributes(int length,
                                                          const QList<QInputMethodEvent::Attribute> &attributes,
                                                          const CompColorTable &colors);

} // namespace zv
