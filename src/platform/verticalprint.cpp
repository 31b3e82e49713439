// Printing in vertical writing; see verticalprint.h.

#include "verticalprint.h"
#include "verticalglyphs.h"
#include "verticallayout.h"

#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace zv {

void printVertically(QPainter &painter, QPrinter &printer, QTextDocument *doc, const QFont &font, const QColor &color,
                     const QList<qreal> &tabs, qreal tabDistance)
{
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    VerticalLayout layout(doc);
    layout.setFont(font, &printer);
    layout.setColumnLength(std::max<qreal>(1, page.height()));
    layout.setTabs(tabs, tabDistance);
    VerticalGlyphs glyphs(layout);
    QFont plain = font;
    plain.setUnderline(false);
    plain.setStrikeOut(false);
    glyphs.setFont(plain, &printer);

    const qreal pitch = layout.pitch();
    const qreal a = layout.cell();
    const qreal bottom = page.height();
    const int perPage = std::max(1, int(std::floor(page.width() / pitch)));
    painter.setFont(plain);
    painter.setPen(color);

    int global = 0; // the column of the document
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        const auto para = layout.paragraph(block);
        for (int column = 0; column < para->columnCount(); ++column, ++global) {
            if (global > 0 && global % perPage == 0)
                printer.newPage();
            const qreal right = page.width() - (global % perPage) * pitch;
            const qreal cx = right - pitch / 2;
            const int e = para->columnEnd(column);
            for (int k = para->starts[size_t(column)]; k < e;) {
                int end = k + 1;
                while (end < e && verticalForm(para->text.at(end).unicode()) == VForm::Mark)
                    ++end;
                const qreal y0 = para->offset[size_t(k)];
                // Blanks hanging past the end of the column are not drawn.
                const qreal adv = std::min<qreal>(para->extent[size_t(k)], std::max<qreal>(0, bottom - y0));
                if (adv > 0) {
                    const VForm form = verticalForm(para->text.at(k).unicode());
                    glyphs.drawCluster(painter, QStringView(para->text).mid(k, end - k), form, cx, y0, adv, plain);
                    if (font.underline()) // a line beside the column, at its right
                        painter.drawLine(QLineF(cx + a / 2 + 1.5, y0, cx + a / 2 + 1.5, y0 + adv));
                    if (font.strikeOut()) // through the middle of the column
                        painter.drawLine(QLineF(cx, y0, cx, y0 + adv));
                }
                k = end;
            }
        }
    }
}

} // namespace zv
