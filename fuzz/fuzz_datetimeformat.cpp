// The date and time formatter: any format, any date and time, any of a set of locales. It never crashes,
// never gives more than kMaxDateTimeTextLength characters, gives the same text for the same call, and
// copies a format without any field letter, quote or separator as it is.
//
// Input: 8 bytes of date and time, 1 byte for the locale, 1 byte for how the format is read, then the format.

#include "editor/datetimeformat.h"
#include "fuzzcheck.h"

#include <QTimeZone>
#include <array>
#include <cstdint>

namespace {

const std::array<QLocale, 12> &locales()
{
    static const std::array<QLocale, 12> all{
        QLocale::c(),
        QLocale(QLocale::Japanese, QLocale::Japan),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::Arabic, QLocale::Egypt),
        QLocale(QLocale::Persian, QLocale::Iran),
        QLocale(QLocale::Chinese, QLocale::China),
        QLocale(QLocale::Korean, QLocale::SouthKorea),
        QLocale(QLocale::Hindi, QLocale::India),
        QLocale(QLocale::Finnish, QLocale::Finland),
        QLocale(QLocale::Thai, QLocale::Thailand),
        QLocale(QLocale::Hebrew, QLocale::Israel),
    };
    return all;
}

QDateTime dateTimeFrom(const std::uint8_t *d)
{
    if (d[7] == 0xFF)
        return QDateTime(); // invalid
    const int year = int(std::int16_t(d[0] | (d[1] << 8))); // -32768 .. 32767, year 0 included
    const QDate date(year, d[2] % 14, d[3] % 33);             // month 0/13 and day 0/32: invalid dates too
    const QTime time(d[4] % 25, d[5] % 61, d[6] % 61);        // hour 24, minute and second 60: invalid too
    return QDateTime(date, time, d[7] & 1 ? QTimeZone::utc() : QTimeZone::systemTimeZone());
}

bool copiedAsIs(const QString &format)
{
    for (QChar c : format) {
        const char16_t u = c.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'\'' || u == u'"' || u == u'/' ||
            u == u':')
            return false;
    }
    return !format.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 10)
        return 0;
    const QDateTime when = dateTimeFrom(data);
    const QLocale &locale = locales()[data[8] % locales().size()];
    const bool asUtf16 = data[9] & 1;
    const std::uint8_t *rest = data + 10;
    const std::size_t restSize = size - 10;
    QString format = asUtf16 ? fuzz::utf16(rest, restSize)
                             : QString::fromUtf8(reinterpret_cast<const char *>(rest), qsizetype(restSize));
    if (data[9] & 2) // long formats: repeat the text past the length limit
        format = format.repeated(qMax<qsizetype>(1, (zv::kMaxDateTimeTextLength + 100) / qMax<qsizetype>(1, format.size())));

    const QString text = zv::formatDateTime(format, when, locale);
    FUZZ_CHECK(text.size() <= zv::kMaxDateTimeTextLength, "%lld characters for a format of %lld",
               (long long)text.size(), (long long)format.size());
    FUZZ_CHECK(zv::formatDateTime(format, when, locale) == text, "two calls gave different texts");
    if (copiedAsIs(format))
        FUZZ_CHECK(text == format.left(zv::kMaxDateTimeTextLength), "plain text not copied as it is: %s -> %s",
                   fuzz::hex(format).constData(), fuzz::hex(text).constData());
    return 0;
}
