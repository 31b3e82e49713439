#include "editor/datetimeformat.h"

#include <algorithm>

namespace zv {

namespace {

// Names, separators and standard layouts of one locale, ready for formatting.
struct LocaleParts {
    QLocale locale;
    QString dateSeparator;
    QString timeSeparator;
    QString shortDateLayout; // in QLocale::toString notation
    QString longTimeLayout;  // in QLocale::toString notation
};

constexpr char16_t lowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool isFormatLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

// The separator written after the first field whose letter is one of `fieldLetters` in a QLocale layout
// ("yyyy/MM/dd" -> "/", "H.mm" -> "."); `fallback` when the layout has none.
QString separatorAfterField(const QString &layout, QStringView fieldLetters, const QString &fallback)
{
    const qsizetype n = layout.size();
    qsizetype i = 0;
    // Find the first field of the wanted kind, skipping quoted text.
    while (i < n) {
        const QChar c = layout.at(i);
        if (c == u'\'') {
            const qsizetype close = layout.indexOf(u'\'', i + 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (fieldLetters.contains(c))
            break;
        ++i;
    }
    if (i >= n)
        return fallback;
    const QChar letter = layout.at(i);
    while (i < n && layout.at(i) == letter)
        ++i;
    QString sep;
    while (i < n && !isFormatLetter(layout.at(i))) {
        const QChar c = layout.at(i);
        if (c == u'\'') {
            const qsizetype close = layout.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? n : close;
            sep += layout.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            continue;
        }
        sep += c;
        ++i;
    }
    const QString trimmed = sep.trimmed();
    if (!trimmed.isEmpty())
        return trimmed;
    return sep.isEmpty() ? fallback : QStringLiteral(" ");
}

// A QLocale time layout without its time-zone fields ("H:mm:ss t" -> "H:mm:ss").
QString withoutTimeZone(const QString &layout)
{
    QString out;
    const qsizetype n = layout.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = layout.at(i);
        if (c == u'\'') {
            const qsizetype close = layout.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? n : close + 1;
            out += layout.mid(i, end - i);
            i = end;
            continue;
        }
        if (c == u't') {
            while (i < n && layout.at(i) == u't')
                ++i;
            continue;
        }
        out += c;
        ++i;
    }
    out = out.trimmed();
    while (out.contains(QLatin1String("  ")))
        out.replace(QLatin1String("  "), QLatin1String(" "));
    return out;
}

LocaleParts localeParts(const QLocale &userLocale)
{
    LocaleParts p;
    p.locale = dateTimeLocale(userLocale);
    if (p.locale.language() == QLocale::Japanese) {
        // The layout Japanese desktops use for dates and times: "1999/03/05 14:07:09".
        p.dateSeparator = QStringLiteral("/");
        p.timeSeparator = QStringLiteral(":");
        p.shortDateLayout = QStringLiteral("yyyy/MM/dd");
        p.longTimeLayout = QStringLiteral("H:mm:ss");
        return p;
    }
    p.shortDateLayout = p.locale.dateFormat(QLocale::ShortFormat);
    p.longTimeLayout = withoutTimeZone(p.locale.timeFormat(QLocale::LongFormat));
    p.dateSeparator = separatorAfterField(p.shortDateLayout, u"yMd", QStringLiteral("/"));
    p.timeSeparator = separatorAfterField(p.locale.timeFormat(QLocale::ShortFormat), u"hH", QStringLiteral(":"));
    return p;
}

QString number(int value, bool twoDigits)
{
    QString s = QString::number(value);
    if (twoDigits && value >= 0 && value < 10)
        s.prepend(u'0');
    return s;
}

QString fourDigitYear(int year)
{
    const QString digits = QString::number(year < 0 ? -qint64(year) : qint64(year)).rightJustified(4, u'0');
    return year < 0 ? QLatin1Char('-') + digits : digits;
}

// Collects the output and stops growing at the length limit.
class Output {
public:
    bool full() const { return m_text.size() >= kMaxDateTimeTextLength; }
    void append(QStringView s)
    {
        if (full())
            return;
        m_text.append(s.left(kMaxDateTimeTextLength - m_text.size() + 1));
    }
    void append(QChar c)
    {
        if (!full())
            m_text.append(c);
    }
    QString take()
    {
        if (m_text.size() > kMaxDateTimeTextLength) {
            qsizetype cut = kMaxDateTimeTextLength;
            if (m_text.at(cut - 1).isHighSurrogate() && m_text.at(cut).isLowSurrogate())
                --cut; // never split a pair
            m_text.truncate(cut);
        }
        return std::move(m_text);
    }

private:
    QString m_text;
};

} // namespace

QLocale dateTimeLocale(const QLocale &userLocale)
{
    switch (userLocale.language()) {
    case QLocale::C:
    case QLocale::AnyLanguage:
    case QLocale::English:
        return QLocale(QLocale::Japanese, QLocale::Japan);
    default:
        return userLocale;
    }
}

QString formatDateTime(const QString &format, const QDateTime &when, const QLocale &userLocale)
{
    const LocaleParts parts = localeParts(userLocale);
    const QDate date = when.date();
    const QTime time = when.time();

    if (format.isEmpty()) {
        QString text = parts.locale.toString(date, parts.shortDateLayout);
        if (time.isValid() && time != QTime(0, 0, 0))
            text += u' ' + parts.locale.toString(time, parts.longTimeLayout);
        return text.left(kMaxDateTimeTextLength);
    }

    const int year = date.year();
    const int month = date.month();
    const int day = date.day();
    const int hour = time.isValid() ? time.hour() : 0;
    const int minute = time.isValid() ? time.minute() : 0;
    const int second = time.isValid() ? time.second() : 0;

    Output out;
    char16_t lastToken = 0;
    const qsizetype n = format.size();
    qsizetype i = 0;
    // Length of the run of `letter` (either case) starting at i, at most `max`.
    auto runLength = [&](char16_t letter, qsizetype max) {
        qsizetype j = i;
        while (j < n && j - i < max && lowerAscii(format.at(j).unicode()) == letter)
            ++j;
        return j - i;
    };

    while (i < n && !out.full()) {
        const QChar c = format.at(i);
        const char16_t letter = lowerAscii(c.unicode());
        switch (letter) {
        case u'\'':
        case u'"': {
            const qsizetype close = format.indexOf(c, i + 1);
            const qsizetype end = close < 0 ? n : close;
            out.append(QStringView(format).mid(i + 1, end - i - 1));
            i = close < 0 ? n : close + 1;
            break;
        }
        case u'/':
            out.append(parts.dateSeparator);
            ++i;
            break;
        case u':':
            out.append(parts.timeSeparator);
            ++i;
            break;
        case u'y': {
            const qsizetype k = runLength(u'y', n); // the whole run is one year
            out.append(k <= 2 ? number(((year % 100) + 100) % 100, true) : fourDigitYear(year));
            i += k;
            lastToken = u'y';
            break;
        }
        case u'm': {
            const qsizetype k = runLength(u'm', 4);
            if (k <= 2 && lastToken == u'h')
                out.append(number(minute, k == 2));
            else if (k <= 2)
                out.append(number(month, k == 2));
            else if (month >= 1 && month <= 12)
                out.append(parts.locale.monthName(month, k == 3 ? QLocale::ShortFormat : QLocale::LongFormat));
            i += k;
            lastToken = u'm';
            break;
        }
        case u'd': {
            const qsizetype k = runLength(u'd', 4);
            if (k <= 2) {
                out.append(number(day, k == 2));
            } else {
                const int weekday = date.dayOfWeek();
                if (weekday >= 1 && weekday <= 7)
                    out.append(parts.locale.dayName(weekday, k == 3 ? QLocale::ShortFormat : QLocale::LongFormat));
            }
            i += k;
            lastToken = u'd';
            break;
        }
        case u'h':
        case u'n':
        case u's': {
            const qsizetype k = runLength(letter, 2);
            const int value = letter == u'h' ? hour : letter == u'n' ? minute : second;
            out.append(number(value, k == 2));
            i += k;
            lastToken = letter;
            break;
        }
        default:
            out.append(c);
            ++i;
            break;
        }
    }
    return out.take();
}

QStringList dateTimePresets()
{
    return {
        QStringLiteral("yy/mm/dd hh:nn:ss"),
        QStringLiteral("yy/mm/dd hh:nn"),
        QStringLiteral("yy/mm/dd"),
        QStringLiteral("hh:nn:ss"),
        QStringLiteral("hh:nn"),
        QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分's'秒'"),
        QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分'"),
        QStringLiteral("yyyy'年'm'月'd'日'"),
        QStringLiteral("yyyy'年'm'月'd'日('ddd')'"),
        QStringLiteral("yy'年'm'月'd'日('ddd')'"),
        QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分's'秒'"),
        QStringLiteral("yy'年'm'月'd'日' h'時'n'分'"),
        QStringLiteral("yy'年'm'月'd'日'"),
        QStringLiteral("m'月'd'日('ddd')'"),
        QStringLiteral("h'時'n'分's'秒'"),
        QStringLiteral("h'時'n'分'"),
    };
}

} // namespace zv
