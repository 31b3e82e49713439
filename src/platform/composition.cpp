// Classification and colouring of input-method compositions.

#include "composition.h"
#include "colors.h"

#include <QTextCharFormat>

#include <algorithm>

namespace zv {

std::vector<int> classifyComposition(int length, const QList<QInputMethodEvent::Attribute> &attributes)
{
    const int n = std::max(length, 0);
    std::vector<int> cls(n, -1); // colour entry of each character, -1 unformatted
    bool converting = false;
    for (const auto &a : attributes) {
        if (a.type != QInputMethodEvent::TextFormat)
            continue;
        const QTextCharFormat f = qvariant_cast<QTextFormat>(a.value).toCharFormat();
        const bool highlighted = f.hasProperty(QTextFormat::BackgroundBrush);
        const auto ul = f.underlineStyle();
        const bool marked = f.fontWeight() > QFont::Normal || ul == QTextCharFormat::DotLine
                            || ul == QTextCharFormat::DashUnderline || ul == QTextCharFormat::WaveUnderline;
        const bool formatted = f.hasProperty(QTextFormat::ForegroundBrush) || f.fontWeight() > QFont::Normal
                               || f.fontItalic();
        int c = -1;
        if (highlighted)
            c = marked ? CompBoundary : CompTarget;
        else if (formatted)
            c = CompConverted;
        converting = converting || highlighted;
        for (int i = std::max(0, a.start); i < std::min(n, a.start + a.length); ++i)
            cls[i] = c;
    }
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
