#pragma once
// Date and time formatting for the insertion command, the ".LOG" stamp and the options dialog's sample.
//
// The format is read from left to right; letters count in either case:
//
//   y, yy          year modulo 100, two digits
//   yyy, yyyy...   (three or more y) the year, four digits
//   m, mm          month without / with a leading zero; right after an hour (the last token letter before
//                  it is h, whatever plain or quoted text stands between) the minute instead
//   mmm, mmmm      abbreviated / full month name
//   d, dd          day of the month without / with a leading zero
//   ddd, dddd      abbreviated / full weekday name ("金", "金曜日")
//   h, hh          hour 0 to 23 without / with a leading zero
//   n, nn          minute without / with a leading zero
//   s, ss          second without / with a leading zero
//   /              the locale's date separator
//   :              the locale's time separator
//   '...' "..."    the text between the quotes, copied without them (an unclosed quote runs to the end)
//   anything else  copied as it is
//
// Runs longer than a token (hhh, ddddd, ...) are read as several tokens. The empty format stands for the
// locale's short date, followed, unless the time is exactly 00:00:00, by a space and its long time.
//
// Which locale: the program speaks Japanese, so a C/POSIX or English locale is served with the Japanese
// names, separators and standard layout ("1999/03/05 14:07:09"); any other locale gives its own.
//
// Every format gives some text, however malformed; the result never exceeds kMaxDateTimeTextLength
// characters.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace zv {

inline constexpr int kMaxDateTimeTextLength = 4096;

// The locale whose names and separators formatDateTime uses for the given user locale.
QLocale dateTimeLocale(const QLocale &userLocale);

QString formatDateTime(const QString &format, const QDateTime &when, const QLocale &locale = QLocale::system());

// The formats offered in the options dialog's list, in order (the list holds one format twice).
QStringList dateTimePresets();

} // namespace zv
