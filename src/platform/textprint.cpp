// Printing a plain text.

#include "textprint.h"
#include "tabstops.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>

namespace zv {

void printText(QPrinter &printer, const QString &jobTitle, const QTextDocument &source, const QFont &font,
               const QColor &color, const QList<int> &tabStops)
{
    printer.setDocName(jobTitle);
    std::unique_ptr<QTextDocument> doc(source.clone());
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font);
    QTextOption opt = source.defaultTextOption();
    applyTabStops(opt, tabStops, printer.logicalDpiX());
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc->setDefaultTextOption(opt);
    QTextCursor all(doc.get());
    all.select(QTextCursor::Document);
    QTextCharFormat fmt;
    fmt.setForeground(color);
    all.mergeCharFormat(fmt);

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
        painter.restore();
    }
    painter.end();
}

} // namespace zv
