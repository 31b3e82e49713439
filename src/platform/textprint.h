#pragma once
// Printing a plain text: the whole text on consecutive pages, wrapped at the page width.

#include <QList>

class QColor;
class QFont;
class QPrinter;
class QString;
class QTextDocument;

namespace zv {

// Prints the text of source in font and color with its text option and the tab stops in points.
void printText(QPrinter &printer, const QString &jobTitle, const QTextDocument &source, const QFont &font,
               const QColor &color, const QList<int> &tabStops);

} // namespace zv
