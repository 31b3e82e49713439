// Printing a plain text.

#include "textprint.h"
#include "textcodec.h"
#include "verticalprint.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <memory>

namespace zv {

namespace {

// The text layout of a document on a device other than the screen scales the tab positions it is given
// by the device's resolution against the screen's. What it does is measured, not assumed: a tab to
// 100 on a one-line document shows the factor.
qreal tabScale(QPaintDevice *device, const QFont &font)
{
    QTextDocument probe;
    probe.documentLayout()->setPaintDevice(device);
    probe.setDefaultFont(font);
    probe.setDocumentMargin(0);
    probe.setPlainText(QStringLiteral("\tx"));
    QTextCursor c(&probe);
    QTextBlockFormat f;
    f.setTabPositions({QTextOption::Tab(100, QTextOption::LeftTab)});
    c.mergeBlockFormat(f);
    probe.setPageSize(QSizeF(1e6, 1e6));
    const QTextBlock b = probe.firstBlock();
    probe.documentLayout()->blockBoundingRect(b);
    const QTextLayout *l = b.layout();
    if (!l || l->lineCount() == 0)
        return 1;
    const qreal x = l->lineAt(0).cursorToX(1);
    return x > 0 ? x / 100 : 1;
}

// Draws the framed hexadecimal boxes over the undecodable bytes of the blocks laid out on the page
// starting at y = top (document coordinates).
void drawRawBytes(QPainter &painter, QTextDocument *doc, const QRectF &view, const QFont &font, const QColor &color)
{
    QFont small = font;
    small.setPointSizeF(std::max(4.0, font.pointSizeF() * 0.55));
    small.setUnderline(false);
    small.setStrikeOut(false);
    small.setBold(false);
    small.setItalic(false);
    painter.save();
    painter.setFont(small);
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        const QString t = block.text();
        if (std::none_of(t.begin(), t.end(), [](QChar c) { return isOpaqueByte(c); }))
            continue;
        const QRectF geometry = layout->blockBoundingRect(block);
        if (geometry.bottom() < view.top() || geometry.top() > view.bottom())
            continue;
        const QTextLayout *tl = block.layout();
        for (int i = 0; i < t.size(); ++i) {
            if (!isOpaqueByte(t.at(i)))
                continue;
            const QTextLine line = tl->lineForTextPosition(i);
            if (!line.isValid())
                continue;
            const qreal x1 = line.cursorToX(i), x2 = line.cursorToX(i + 1);
            QRectF box(geometry.left() + std::min(x1, x2), geometry.top() + line.y(), std::abs(x2 - x1), line.height());
            if (!box.intersects(view))
                continue;
            painter.fillRect(box, Qt::white); // over whatever glyph the font has for the marker
            const qreal pen = painter.device()->logicalDpiY() / 96.0;
            box.adjust(pen / 2, 1.5 * pen, -pen / 2, -1.5 * pen);
            painter.setPen(QPen(color, pen));
            painter.drawRect(box);
            painter.drawText(box, Qt::AlignCenter,
                             QString::number(opaqueByteValue(t.at(i)), 16).rightJustified(2, u'0').toUpper());
        }
    }
    painter.restore();
}

} // namespace

void printText(QPrinter &printer, const QString &jobTitle, const QTextDocument &source, const QFont &font,
               const QColor &color, const QList<qreal> &tabColumns, bool vertical)
{
    printer.setDocName(jobTitle);
    std::unique_ptr<QTextDocument> doc(source.clone());
    QPainter painter;
    if (!painter.begin(&printer))
        return;

    // The stops in the printer's pixels: the columns times the space of the font on the printer.
    const qreal space = QFontMetricsF(font, &printer).horizontalAdvance(QLatin1Char(' '));
    QList<qreal> stops;
    for (qreal column : tabColumns)
        stops.append(column * space);
    std::sort(stops.begin(), stops.end());
    stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
    const qreal distance = stops.size() >= 2 ? stops.last() - stops.at(stops.size() - 2) : 8 * space;

    if (vertical) {
        printVertically(painter, printer, doc.get(), font, color, stops, distance);
        painter.end();
        return;
    }

    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font);
    QTextOption opt = source.defaultTextOption();
    opt.setTabArray({});
    const qreal scale = tabScale(&printer, font);
    opt.setTabStopDistance(distance / scale);
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc->setDefaultTextOption(opt);
    QTextCursor all(doc.get());
    all.select(QTextCursor::Document);
    QTextCharFormat fmt;
    fmt.setForeground(color);
    all.mergeCharFormat(fmt);
    // The document's layout takes tab stops from the paragraphs, not from the text option.
    QList<QTextOption::Tab> tabs;
    for (qreal x : std::as_const(stops))
        tabs.append(QTextOption::Tab(x / scale, QTextOption::LeftTab));
    QTextBlockFormat paragraphs;
    paragraphs.setTabPositions(tabs);
    all.mergeBlockFormat(paragraphs);

    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    doc->setPageSize(page.size());
    const int pages = std::max(1, doc->pageCount());
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            printer.newPage();
        painter.save();
        const QRectF view(0, i * page.height(), page.width(), page.height());
        painter.translate(0, -view.top());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = view;
        ctx.palette.setColor(QPalette::Text, color);
        painter.setClipRect(view);
        doc->documentLayout()->draw(&painter, ctx);
        drawRawBytes(painter, doc.get(), view, font, color);
        painter.restore();
    }
    painter.end();
}

} // namespace zv
