#pragma once
// The editor's text in its forms: the document keeps line breaks as paragraph separators (U+2029), the
// editor gives and takes them as CR LF, and positions count a CR LF as one.

#include <QString>

namespace zv {

constexpr QChar kParagraphSeparator = QChar::ParagraphSeparator; // how the document keeps line breaks

// Turns CR LF, CR and LF into the document's paragraph separator.
QString toDocumentBreaks(const QString &text);
// Turns the document's paragraph separators into CR LF.
QString withCrLfBreaks(const QString &raw);
// Number of positions a text takes once inserted (CR LF is one position).
qsizetype positionsOf(const QString &text);
// The first characters of text that take at most max positions, never splitting CR LF or a surrogate pair.
QString truncatedToPositions(const QString &text, qsizetype max);
// The whole lines at the start of text that take at most max positions: the text up to and with its last
// line break (CR LF, LF, CR or a paragraph or line separator) that fits; empty when not even its first
// line fits. Never a line or a character cut in two.
QString wholeLinesWithin(const QString &text, qsizetype max);

} // namespace zv
