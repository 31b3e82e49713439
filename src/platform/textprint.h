#pragma once
// Printing a plain text: the whole text on consecutive pages, wrapped at the page width, or in vertical
// writing in columns from the right edge of each page.

#include <QList>

class QColor;
class QFont;
class QPrinter;
class QString;
class QTextDocument;

namespace zv {

// Prints the text of source in font (made for the printer) and color with its text option. Tab stops
// come as columns: stop i lies tabColumns[i] spaces of the font from the start of the line, as on
// screen; past the last the stops follow at the distance between the last two. Undecodable bytes print
// as framed boxes holding the byte in hexadecimal, as the screen shows them.
void printText(QPrinter &printer, const QString &jobTitle, const QTextDocument &source, const QFont &font,
               const QColor &color, const QList<qreal> &tabColumns, bool vertical);

} // namespace zv
