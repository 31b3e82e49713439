// The date and time formatter: tokens, separators, quoting, the standard layout and malformed formats.
#include "editor/datetimeformat.h"

#include <QRandomGenerator>
#include <QTest>

using zv::formatDateTime;

namespace {
const QDateTime kAfternoon(QDate(1999, 3, 5), QTime(14, 7, 9)); // a Friday
const QDateTime kMidnight(QDate(1999, 3, 5), QTime(0, 0, 0));
const QDateTime kMorning(QDate(2005, 1, 2), QTime(3, 4, 5)); // a Sunday; every field below ten
const QLocale kJapanese(QLocale::Japanese, QLocale::Japan);
} // namespace

class TestDateTimeFormat : public QObject {
    Q_OBJECT
private slots:
    void tokens_data();
    void tokens();
    void presets_data();
    void presets();
    void standardLayout_data();
    void standardLayout();
    void localeChoice();
    void otherLocaleSeparators();
    void malformedFormats_data();
    void malformedFormats();
    void randomFormats();
};

void TestDateTimeFormat::tokens_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default format") << "yy/mm/dd hh:nn:ss" << kAfternoon << "99/03/05 14:07:09";
    QTest::newRow("hour and minute in kanji") << "h'時'n'分'" << kAfternoon << "14時7分";
    QTest::newRow("long date in kanji") << "yyyy'年'm'月'd'日'" << kAfternoon << "1999年3月5日";
    QTest::newRow("mm after hh is the minute") << "hh:mm" << kAfternoon << "14:07";
    QTest::newRow("m after h across quoted text") << "h'時'm'分'" << kAfternoon << "14時7分";
    QTest::newRow("m after h across plain text") << "h m" << kAfternoon << "14 7";
    QTest::newRow("mm after another token is the month") << "hh dd mm" << kAfternoon << "14 05 03";
    QTest::newRow("mm after n is the month") << "hh:nn mm" << kAfternoon << "14:07 03";
    QTest::newRow("second mm after hh:mm is the month") << "hh:mm:mm" << kAfternoon << "14:07:03";
    QTest::newRow("mm before any hour is the month") << "mm hh" << kAfternoon << "03 14";
    QTest::newRow("upper case letters") << "YY/MM/DD HH:NN:SS" << kAfternoon << "99/03/05 14:07:09";
    QTest::newRow("upper case minute rule") << "HH:MM" << kAfternoon << "14:07";
    QTest::newRow("one y is two digits") << "y" << kAfternoon << "99";
    QTest::newRow("three y are four digits") << "yyy" << kAfternoon << "1999";
    QTest::newRow("many y are one year") << "yyyyyyyy" << kAfternoon << "1999";
    QTest::newRow("two-digit year keeps its zero") << "yy" << kMorning << "05";
    QTest::newRow("no leading zeros") << "y/m/d h:n:s" << kMorning << "05/1/2 3:4:5";
    QTest::newRow("leading zeros") << "yyyy/mm/dd hh:nn:ss" << kMorning << "2005/01/02 03:04:05";
    QTest::newRow("midnight") << "hh:nn:ss h" << kMidnight << "00:00:00 0";
    QTest::newRow("abbreviated weekday") << "ddd" << kAfternoon << "金";
    QTest::newRow("full weekday") << "dddd" << kAfternoon << "金曜日";
    QTest::newRow("sunday") << "(ddd)" << kMorning << "(日)";
    QTest::newRow("month name") << "mmm" << kAfternoon << "3月";
    QTest::newRow("hhh is hh then h") << "hhh" << kAfternoon << "1414";
    QTest::newRow("double quotes") << "\"y\"yy" << kAfternoon << "y99";
    QTest::newRow("other quote inside quotes") << "\"it's\" hh" << kAfternoon << "it's 14";
    QTest::newRow("empty quotes") << "hh''nn" << kAfternoon << "1407";
    QTest::newRow("unclosed quote runs to the end") << "hh'時 nn" << kAfternoon << "14時 nn";
    QTest::newRow("other characters copied") << "[hh]-x,z!" << kAfternoon << "[14]-x,z!";
    QTest::newRow("kanji outside quotes copied") << "hh時" << kAfternoon << "14時";
    QTest::newRow("surrogate pair copied") << QString::fromUtf8("hh\xF0\x9F\x95\x90") << kAfternoon
                                           << QString::fromUtf8("14\xF0\x9F\x95\x90");
}

void TestDateTimeFormat::tokens()
{
    QFETCH(QString, format);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(formatDateTime(format, when, kJapanese), expected);
}

void TestDateTimeFormat::presets_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    const char *expected[] = {
        "99/03/05 14:07:09",
        "99/03/05 14:07",
        "99/03/05",
        "14:07:09",
        "14:07",
        "1999年3月5日 14時7分9秒",
        "1999年3月5日 14時7分",
        "1999年3月5日",
        "1999年3月5日(金)",
        "99年3月5日(金)",
        "1999年3月5日 14時7分9秒",
        "99年3月5日 14時7分",
        "99年3月5日",
        "3月5日(金)",
        "14時7分9秒",
        "14時7分",
    };
    for (int i = 0; i < 16; ++i)
        QTest::addRow("preset %d", i + 1) << i << QString::fromUtf8(expected[i]);
}

void TestDateTimeFormat::presets()
{
    QFETCH(int, index);
    QFETCH(QString, expected);
    const QStringList presets = zv::dateTimePresets();
    QCOMPARE(presets.size(), 16);
    QCOMPARE(presets.at(10), presets.at(5));
    QCOMPARE(formatDateTime(presets.at(index), kAfternoon, kJapanese), expected);
}

void TestDateTimeFormat::standardLayout_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    QTest::newRow("japanese afternoon") << kJapanese << kAfternoon << "1999/03/05 14:07:09";
    QTest::newRow("japanese midnight") << kJapanese << kMidnight << "1999/03/05";
    QTest::newRow("japanese one second past midnight")
        << kJapanese << QDateTime(QDate(1999, 3, 5), QTime(0, 0, 1)) << "1999/03/05 0:00:01";
    QTest::newRow("german afternoon") << QLocale(QLocale::German, QLocale::Germany) << kAfternoon
                                      << "05.03.99 14:07:09";
    QTest::newRow("german midnight") << QLocale(QLocale::German, QLocale::Germany) << kMidnight << "05.03.99";
}

void TestDateTimeFormat::standardLayout()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(formatDateTime(QString(), when, locale), expected);
}

void TestDateTimeFormat::localeChoice()
{
    // The program is Japanese: C and English locales get the Japanese names and layout.
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QCOMPARE(formatDateTime(QStringLiteral("ddd"), kAfternoon, locale), QStringLiteral("金"));
        QCOMPARE(formatDateTime(QString(), kAfternoon, locale), QStringLiteral("1999/03/05 14:07:09"));
    }
    QCOMPARE(formatDateTime(QStringLiteral("ddd"), kAfternoon, QLocale(QLocale::German)), QStringLiteral("Fr."));
    // The tests run under a C locale, so the default argument follows the same rule.
    if (QLocale::system().language() == QLocale::C)
        QCOMPARE(formatDateTime(QStringLiteral("dddd"), kAfternoon), QStringLiteral("金曜日"));
}

void TestDateTimeFormat::otherLocaleSeparators()
{
    QCOMPARE(formatDateTime(QStringLiteral("dd/mm/yy"), kAfternoon, QLocale(QLocale::German, QLocale::Germany)),
             QStringLiteral("05.03.99"));
    QCOMPARE(formatDateTime(QStringLiteral("hh:nn"), kAfternoon, QLocale(QLocale::Finnish, QLocale::Finland)),
             QStringLiteral("14.07"));
}

void TestDateTimeFormat::malformedFormats_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("exact");      // false: only bounded, non-empty output is required
    QTest::addColumn<QString>("expected");
    QTest::newRow("thousands of y") << QString(100000, u'y') << true << "1999";
    QTest::newRow("thousands of d") << QString(100000, u'd') << false << QString();
    QTest::newRow("thousands of m after h") << (u'h' + QString(100001, u'm')) << false << QString();
    QTest::newRow("lone quote") << "'" << true << QString();
    QTest::newRow("lone double quote") << "\"" << true << QString();
    QTest::newRow("quotes only") << QString(5001, u'\'') << true << QString();
    QTest::newRow("huge quoted text") << (u'\'' + QString(50000, u'x')) << false << QString();
    QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) << true << QString(QChar(0xD800));
    QTest::newRow("lone low surrogate then hh") << (QChar(0xDC00) + QStringLiteral("hh")) << true
                                               << (QChar(0xDC00) + QStringLiteral("14"));
    QTest::newRow("nul characters") << QString::fromUtf16(u"h\0h", 3) << true
                                    << QString::fromUtf16(u"14\0" u"14", 5);
    QTest::newRow("separators only") << QString(20000, u'/') << false << QString();
}

void TestDateTimeFormat::malformedFormats()
{
    QFETCH(QString, format);
    QFETCH(bool, exact);
    QFETCH(QString, expected);
    const QString text = formatDateTime(format, kAfternoon, kJapanese);
    QVERIFY(text.size() <= zv::kMaxDateTimeTextLength);
    if (exact)
        QCOMPARE(text, expected);
    else
        QVERIFY(!text.isEmpty());
}

void TestDateTimeFormat::randomFormats()
{
    // Random formats over the token letters, quotes, separators and awkward characters: the result is
    // always bounded, and an invalid date and time gives bounded text too.
    static const char16_t alphabet[] = u"yYmMdDhHnNsS/:'\" x年\0\xD800\xDC00";
    const int alphabetSize = int(std::size(alphabet)) - 1;
    QRandomGenerator rng(19990305);
    const QDateTime whens[] = {kAfternoon, kMidnight, QDateTime(QDate(-44, 3, 15), QTime(12, 0)), QDateTime()};
    for (int round = 0; round < 4000; ++round) {
        const int length = rng.bounded(round % 50 == 0 ? 20000 : 60);
        QString format(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            format[i] = QChar(alphabet[rng.bounded(alphabetSize)]);
        const QDateTime &when = whens[round % std::size(whens)];
        const QString text = formatDateTime(format, when, round % 3 ? kJapanese : QLocale::c());
        QVERIFY2(text.size() <= zv::kMaxDateTimeTextLength, qPrintable(QString::number(round)));
    }
}

QTEST_GUILESS_MAIN(TestDateTimeFormat)
#include "test_datetimeformat.moc"
