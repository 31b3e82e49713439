// The CP932 codec: byte-exact round trips, the text it gives the editor, its agreement with the system's
// converter, unencodable characters and byte counts.

#include "platform/textcodec.h"

#include <QtTest>
#include <iconv.h>

using zv::LineBreakStyle;

Q_DECLARE_METATYPE(zv::LineBreakStyle)

namespace {

QString marker(unsigned char b) { return QString(zv::opaqueByteChar(b)); }

QString dump(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')); }

template <std::size_t N>
QByteArray bytesOf(const char (&literal)[N]) { return QByteArray(literal, qsizetype(N - 1)); }

// Lines of CP932 bytes split at CR LF.
QList<QByteArray> crlfLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    for (qsizetype at; (at = bytes.indexOf("\r\n", from)) >= 0; from = at + 2)
        lines.append(bytes.mid(from, at - from));
    lines.append(bytes.mid(from));
    return lines;
}

// One direction of the system's iconv, as the reference the codec must agree with.
class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { iconv_close(m_cd); }
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // false when iconv refuses the input
    bool convert(const QByteArray &in, QByteArray &out)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = const_cast<char *>(in.constData());
        size_t il = size_t(in.size());
        out.resize(in.size() * 4 + 16);
        char *op = out.data();
        size_t ol = size_t(out.size());
        const bool ok = iconv(m_cd, &ip, &il, &op, &ol) != size_t(-1) && il == 0;
        out.truncate(out.size() - qsizetype(ol));
        return ok;
    }

private:
    iconv_t m_cd;
};

} // namespace

class TestTextCodec : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void everyCodeAgreesWithIconv();
    void editingOneLineKeepsTheOthers();
    void unencodableCharacter_data();
    void inputMethodTwins();
    void inputMethodTwins_data();
    void unencodableCharacter();
    void byteSizeMatchesEncoding_data();
    void byteSizeMatchesEncoding();
};

void TestTextCodec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<LineBreakStyle>("style");

    const auto crlf = LineBreakStyle::CrLf;
    QTest::newRow("empty") << QByteArray() << QString() << crlf;
    QTest::newRow("5C 7E") << QByteArray("\x5C\x7E") << QStringLiteral("\\~") << crlf;
    QTest::newRow("81 60") << QByteArray("\x81\x60") << QString(QChar(0xFF5E)) << crlf;
    QTest::newRow("87 90 twin of 81 E0") << QByteArray("\x87\x90\x81\xE0")
                                         << marker(0x87) + marker(0x90) + QChar(0x2252) << crlf;
    QTest::newRow("81 BE and its twin 87 9C") << QByteArray("\x81\xBE\x87\x9C")
                                              << QChar(0x222A) + marker(0x87) + marker(0x9C) << crlf;
    QTest::newRow("87 54 and its twin FA 4A") << QByteArray("\x87\x54\xFA\x4A")
                                              << QChar(0x2160) + marker(0xFA) + marker(0x4A) << crlf;
    QTest::newRow("ED 40 and FA 5C") << QByteArray("\xED\x40\xFA\x5C")
                                     << marker(0xED) + marker(0x40) + QChar(0x7E8A) << crlf;
    QTest::newRow("EE F9, FA 54, 81 CA") << QByteArray("\xEE\xF9\xFA\x54\x81\xCA")
                                         << marker(0xEE) + marker(0xF9) + marker(0xFA) + marker(0x54) + QChar(0xFFE2)
                                         << crlf;
    QTest::newRow("80") << QByteArray("a\x80z") << QChar('a') + marker(0x80) + QChar('z') << crlf;
    QTest::newRow("A0") << QByteArray("\xA0") << marker(0xA0) << crlf;
    QTest::newRow("FD FE FF") << QByteArray("\xFD\xFE\xFF") << marker(0xFD) + marker(0xFE) + marker(0xFF) << crlf;
    QTest::newRow("F0 40 user-defined") << QByteArray("\xF0\x40\xF9\xFC") << QString::fromUtf16(u"\uE000\uE757") << crlf;
    QTest::newRow("85 40 unassigned") << QByteArray("\x85\x40") << marker(0x85) + marker(0x40) << crlf;
    QTest::newRow("81 20 lead before space") << QByteArray("\x81\x20") << marker(0x81) + QChar(' ') << crlf;
    QTest::newRow("lone 81 at the end") << QByteArray("A\x81") << QChar('A') + marker(0x81) << crlf;
    QTest::newRow("lead before CR LF") << QByteArray("\x82\r\nx") << marker(0x82) + QStringLiteral("\nx") << crlf;
    QTest::newRow("NUL") << bytesOf("\0A\0") << QChar(0) + QStringLiteral("A") + QChar(0) << crlf;
    QTest::newRow("half-width katakana") << QByteArray("\xB1\xB2\xDF\xA1") << QString::fromUtf16(u"\uFF71\uFF72\uFF9F\uFF61") << crlf;
    QTest::newRow("kanji and kana") << QByteArray("\x93\xFA\x96\x7B\x82\xA0") << QString::fromUtf16(u"日本あ") << crlf;
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\nb\n") << crlf;
    QTest::newRow("no final break") << QByteArray("\x82\xA0\r\n\x82\xA2") << QString::fromUtf16(u"あ\nい") << crlf;
    QTest::newRow("LF") << QByteArray("a\nb\n") << QStringLiteral("a\nb\n") << LineBreakStyle::Lf;
    QTest::newRow("CR") << QByteArray("a\rb") << QStringLiteral("a\nb") << LineBreakStyle::Cr;
    QTest::newRow("lone CR in CR LF") << QByteArray("a\r\nb\rc\r\n") << "a\nb" + marker('\r') + "c\n" << crlf;
    QTest::newRow("lone LF in CR LF") << QByteArray("a\r\nb\nc") << "a\nb" + marker('\n') + "c" << crlf;
    QTest::newRow("CR LF in LF") << QByteArray("a\nb\r\nc") << "a\nb" + marker('\r') + "\nc" << LineBreakStyle::Lf;
    QTest::newRow("CR LF in CR") << QByteArray("a\rb\r\nc") << "a\nb\n" + marker('\n') + "c" << LineBreakStyle::Cr;
    QTest::newRow("CR CR LF") << QByteArray("\r\r\n\n\r") << "\n\n" + marker('\n') + marker('\n') + "\n"
                              << LineBreakStyle::Cr;
    QTest::newRow("LF, then CR LF") << QByteArray("\n\r\n") << "\n" + marker('\r') + "\n" << LineBreakStyle::Lf;
}

void TestTextCodec::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(LineBreakStyle, style);

    const zv::DecodedText decoded = zv::decodeCp932(bytes);
    QCOMPARE(decoded.text, text);
    QCOMPARE(decoded.lineBreaks, style);
    const zv::EncodeResult encoded = zv::encodeCp932(decoded.text, decoded.lineBreaks);
    QVERIFY(encoded.ok);
    QCOMPARE(dump(encoded.bytes), dump(bytes));
    QCOMPARE(zv::cp932Size(decoded.text, decoded.lineBreaks), bytes.size());
}

// Every single byte and every two-byte sequence: the first character decoded is the system converter's
// wherever that comes back as the same code, an opaque byte otherwise; each sequence and the whole
// fixture round-trip.
void TestTextCodec::everyCodeAgreesWithIconv()
{
    Iconv toUnicode("UTF-16LE", "CP932");
    Iconv toCp932("CP932", "UTF-16LE");
    QVERIFY(toUnicode.valid() && toCp932.valid());
    // One character that iconv decodes from the bytes and encodes back to them, or -1.
    auto roundTripCharacter = [&](const QByteArray &code) -> int {
        QByteArray unicode, back;
        if (!toUnicode.convert(code, unicode) || unicode.size() != 2 || !toCp932.convert(unicode, back) || back != code)
            return -1;
        return uchar(unicode[0]) | uchar(unicode[1]) << 8;
    };

    QByteArray fixture;
    for (int b = 0; b < 256; ++b)
        fixture += char(b);
    int pairs = 0;
    for (int lead = 0; lead < 256; ++lead) {
        const int alone = lead == '\r' || lead == '\n' ? -2 : roundTripCharacter(QByteArray(1, char(lead)));
        for (int trail = 0; trail < 256; ++trail) {
            const char codeBytes[2] = {char(lead), char(trail)};
            const QByteArray code(codeBytes, 2);
            fixture += code;
            const int pair = roundTripCharacter(code);
            const QString ours = zv::decodeCp932(code, LineBreakStyle::Lf);
            if (pair >= 0) {
                ++pairs;
                QVERIFY2(ours.size() == 1 && ours.at(0).unicode() == pair, qPrintable(dump(code)));
            } else if (alone >= 0) {
                QVERIFY2(ours.at(0).unicode() == alone, qPrintable(dump(code)));
            } else if (alone == -1) {
                QVERIFY2(zv::isOpaqueByte(ours.at(0)) && zv::opaqueByteValue(ours.at(0)) == lead, qPrintable(dump(code)));
            }
            const zv::EncodeResult encoded = zv::encodeCp932(ours, LineBreakStyle::Lf);
            QVERIFY(encoded.ok);
            QVERIFY2(encoded.bytes == code, qPrintable(dump(code)));
        }
    }
    QVERIFY(pairs > 7000); // the converter knows the double-byte set

    for (const LineBreakStyle style : {LineBreakStyle::CrLf, LineBreakStyle::Lf, LineBreakStyle::Cr}) {
        const QString text = zv::decodeCp932(fixture, style);
        const zv::EncodeResult encoded = zv::encodeCp932(text, style);
        QVERIFY(encoded.ok);
        QVERIFY(encoded.bytes == fixture);
        QCOMPARE(zv::cp932Size(text, style), fixture.size());
    }
}

void TestTextCodec::editingOneLineKeepsTheOthers()
{
    const QByteArray original = bytesOf("\x82\xA0\x82\xA2\x82\xA4\r\n" // kana
                                        "\x87\x90\x81\xE0\xFA\x4A\r\n" // twins
                                        "bad \x80\xA0\xFF and \x85\x40\r\n"
                                        "lone\rCR and lone\nLF\r\n"
                                        "\r\n"
                                        "\xB1\xB2 \x81\x20 \0 \xEE\xF9\r\n"
                                        "last \x81");
    const QList<QByteArray> lines = crlfLines(original);
    const zv::DecodedText decoded = zv::decodeCp932(original);
    QCOMPARE(decoded.lineBreaks, LineBreakStyle::CrLf);
    const QStringList textLines = decoded.text.split(u'\n');
    QCOMPARE(textLines.size(), lines.size());

    for (int edited = 0; edited < textLines.size(); ++edited) {
        QStringList changed = textLines;
        changed[edited] = QString::fromUtf16(u"編集した行 ") + changed[edited].left(2);
        const zv::EncodeResult encoded = zv::encodeCp932(changed.join(u'\n'), decoded.lineBreaks);
        QVERIFY(encoded.ok);
        const QList<QByteArray> newLines = crlfLines(encoded.bytes);
        QCOMPARE(newLines.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            if (i != edited)
                QCOMPARE(dump(newLines[i]), dump(lines[i]));
        }
        QVERIFY(newLines[edited] != lines[edited]);
    }
}

void TestTextCodec::unencodableCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<uint>("character");

    QTest::newRow("e acute") << QString::fromUtf16(u"caf\u00E9") << qsizetype(3) << 0xE9u;
    QTest::newRow("emoji after a break") << QString::fromUtf16(u"あ\n\U0001F600x") << qsizetype(2) << 0x1F600u;
    QTest::newRow("lone surrogate") << QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") << qsizetype(1) << 0xD800u;
    QTest::newRow("only the first is reported") << QString::fromUtf16(u"日本\u20AC\u00E9") << qsizetype(2) << 0x20ACu;
}

// Characters that input methods type where CP932 has a full-width twin are written as that twin.
void TestTextCodec::inputMethodTwins_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("wave dash") << QString::fromUtf16(u"1\u301C2") << QByteArray("1\x81\x60" "2");
    QTest::newRow("minus sign") << QString::fromUtf16(u"\u2212") << QByteArray("\x81\x7C");
    QTest::newRow("double vertical line") << QString::fromUtf16(u"\u2016") << QByteArray("\x81\x61");
    QTest::newRow("em dash") << QString::fromUtf16(u"\u2014") << QByteArray("\x81\x5C");
    QTest::newRow("yen sign") << QString::fromUtf16(u"\u00A5100") << QByteArray("\x81\x8F" "100");
    QTest::newRow("pound sign") << QString::fromUtf16(u"\u00A3") << QByteArray("\x81\x92");
}

void TestTextCodec::inputMethodTwins()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const zv::EncodeResult r = zv::encodeCp932(text, LineBreakStyle::CrLf);
    QVERIFY(r.ok);
    QCOMPARE(r.bytes, bytes);
    QCOMPARE(zv::cp932Size(text), bytes.size());
}

void TestTextCodec::unencodableCharacter()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, position);
    QFETCH(uint, character);

    const zv::EncodeResult r = zv::encodeCp932(text, LineBreakStyle::CrLf);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorPosition, position);
    QCOMPARE(uint(r.errorCharacter), character);
    QVERIFY(r.bytes.isEmpty());
    QCOMPARE(zv::cp932ByteLength(text.at(position)), 0);
}

void TestTextCodec::byteSizeMatchesEncoding_data()
{
    QTest::addColumn<LineBreakStyle>("style");
    QTest::newRow("CR LF") << LineBreakStyle::CrLf;
    QTest::newRow("LF") << LineBreakStyle::Lf;
    QTest::newRow("CR") << LineBreakStyle::Cr;
}

void TestTextCodec::byteSizeMatchesEncoding()
{
    QFETCH(LineBreakStyle, style);
    const QString mixed = QString::fromUtf16(u"ABC abc ひらがな カタカナ 漢字、。123\n\uFF71\uFF9E\uFF61 ～∪Ⅰ\uE000\n")
        + marker(0x80) + marker('\r') + QString::fromUtf16(u"\r\nfrom elsewhere\rend\n\n");
    const zv::EncodeResult encoded = zv::encodeCp932(mixed, style);
    QVERIFY(encoded.ok);
    QCOMPARE(zv::cp932Size(mixed, style), encoded.bytes.size());

    const QString withoutCr = QString(mixed).remove(u'\r');
    qsizetype sum = 0;
    for (const QChar c : withoutCr)
        sum += zv::cp932ByteLength(c, style);
    QCOMPARE(sum, zv::encodeCp932(withoutCr, style).bytes.size());
    QCOMPARE(zv::cp932ByteLength(u'漢'), 2);
    QCOMPARE(zv::cp932ByteLength(QChar(0xFF71)), 1);
    QCOMPARE(zv::cp932ByteLength(marker(0xFF).at(0)), 1);
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "test_textcodec.moc"
