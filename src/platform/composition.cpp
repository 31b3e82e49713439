// Classification and colouring of input-method compositions.

#include "composition.h"
#include "colors.h"

#include <QTextCharFormat>

#include <algorithm>

namespace zv {

namespace {

// The entry one merged format stands for, or -1 for an unmarked one (typing or converted, by the rest).
int classifyFormat(const QTextCharFormat &f)
{
    // A background is the clause the engine works on: fcitx5 and ibus give it for the clause being
    // converted (fcitx5 with anthy and mozc: the highlight colours of the palette; ibus with anthy: a
    // pale blue; ibus with mozc: a background under a double underline, which Qt's ibus front end hands
    // over as a dashed one). The underline style therefore tells nothing here.
    if (f.hasProperty(QTextFormat::BackgroundBrush))
        return f.fontWeight() > QFont::Normal ? CompBoundary : CompTarget;
    // A text colour, bold or italic without a background: a converted clause.
    if (f.hasProperty(QTextFormat::ForegroundBrush) || f.fontWeight() > QFont::Normal || f.fontItalic())
        return CompConverted;
    // Nothing, or an underline of any style (fcitx5 with mozc: dashed; ibus: single): not told apart.
    return -1;
}

} // namespace

std::vector<int> classifyComposition(int length, const QList<QInputMethodEvent::Attribute> &attributes)
{
    const int n = std::max(length, 0);
    // The formats of each character, merged in order as the text layout merges overlapping ranges: ibus's
    // front end sends an underline over the whole composition and the target clause's colours as ranges
    // of their own, in no fixed order.
    std::vector<QTextCharFormat> merged(static_cast<size_t>(n));
    for (const auto &a : attributes) {
        if (a.type != QInputMethodEvent::TextFormat)
            continue;
        const QTextCharFormat f = qvariant_cast<QTextFormat>(a.value).toCharFormat();
        for (int i = std::max(0, a.start); i < std::min(n, a.start + a.length); ++i)
            merged[size_t(i)].merge(f);
    }
    std::vector<int> cls(static_cast<size_t>(n));
    bool converting = false;
    for (int i = 0; i < n; ++i) {
        cls[size_t(i)] = classifyFormat(merged[size_t(i)]);
        converting = converting || cls[size_t(i)] == CompTarget || cls[size_t(i)] == CompBoundary;
    }
    // Unmarked text is text being typed, unless another part is being converted: then it is a converted
    // clause (fcitx5 leaves the other clauses unformatted or dashed, ibus underlined).
    for (int &c : cls)
        if (c < 0)
            c = converting ? CompConverted : CompTyping;
    return cls;
}

QList<QInputMethodEvent::Attribute> compositionAttributes(int length,
                                                          const QList<QInputMethodEvent::Attribute> &attributes,
                                                          const CompColorTable &colors)
{
    QList<QInputMethodEvent::Attribute> out;
    for (const auto &a : attributes)
        if (a.type != QInputMethodEvent::TextFormat)
            out.append(a);
    const std::vector<int> cls = classifyComposition(length, attributes);
    const int n = int(cls.size());
    for (int i = 0; i < n;) {
        int j = i + 1;
        while (j < n && cls[j] == cls[i])
            ++j;
        const CompColor &entry = colors[cls[i]];
        QTextCharFormat f;
        f.setForeground(toQColor(entry.text));
        f.setBackground(toQColor(entry.background));
        f.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        if (entry.effects & 0x1)
            f.setFontWeight(QFont::Bold);
        if (entry.effects & 0x2)
            f.setFontItalic(true);
        if (entry.effects & 0x8)
            f.setFontStrikeOut(true);
        out.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, i, j - i, f));
        i = j;
    }
    return out;
}

} // namespace zv
