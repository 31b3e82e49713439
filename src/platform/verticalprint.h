#pragma once
// Printing in vertical writing: the pages show the columns the way the editor does, the first column of
// a page at its right edge and the next ones to its left, and a page is full before the next begins.

#include <QList>

class QColor;
class QFont;
class QPainter;
class QPrinter;
class QTextDocument;

namespace zv {

// Prints the whole text of doc on the printer that painter is open on, from its first page: the
// characters in font and colour, tab stops (and the distance after the last) in the printer's pixels
// along the column. The columns run the height of the printable area.
void printVertically(QPainter &painter, QPrinter &printer, QTextDocument *doc, const QFont &font, const QColor &color,
                     const QList<qreal> &tabs, qreal tabDistance);

} // namespace zv
