// The CP932 <-> ISO-2022-JP conversion of goma.
#include "iso2022jp.h"

#include <QtTest>

#include <iconv.h>

using goma::SecureBytes;

namespace {

QByteArray bytes(const SecureBytes &b) { return QByteArray(b.data(), static_cast<qsizetype>(b.size())); }
std::string_view sv(const QByteArray &b) { return {b.constData(), static_cast<size_t>(b.size())}; }

// Conversion by the system's iconv, for comparison; empty when it fails.
QByteArray viaIconv(const char *to, const char *from, const QByteArray &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(in.size() * 4 + 16, '\0');
    char *ip = const_cast<char *>(in.constData());
    size_t il = in.size();
    char *op = out.data();
    size_t ol = out.size();
    size_t rc = iconv(cd, &ip, &il, &op, &ol);
    if (rc != static_cast<size_t>(-1))
        rc = iconv(cd, nullptr, nullptr, &op, &ol); // back to the initial state
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    out.truncate(op - out.data());
    return out;
}

QByteArray cp932(const QString &s) { return viaIconv("CP932", "UTF-8", s.toUtf8()); }

// Every line of an ISO-2022-JP text ends in ASCII mode, and the text does too.
bool linesEndInAscii(const QByteArray &jis)
{
    bool ascii = true;
    for (qsizetype i = 0; i < jis.size(); ++i) {
        if (jis[i] == '\x1b') {
            ascii = jis.mid(i, 3) == "\x1b(B" || jis.mid(i, 3) == "\x1b(J";
            i += 2;
        } else if ((jis[i] == '\r' || jis[i] == '\n') && !ascii) {
            return false;
        }
    }
    return ascii;
}

} // namespace

class TestIso2022jp : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void exactEncoding_data();
    void exactEncoding();
    void unconvertibleFails_data();
    void unconvertibleFails();
    void invalidJisFails_data();
    void invalidJisFails();
    void decodesOtherDesignations_data();
    void decodesOtherDesignations();
    void everyAcceptedCharacterRoundTrips();
    void agreesWithIconvWhereTablesAgree();
    void anyTwoBytesAreHandled();
};

void TestIso2022jp::roundTrip_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("ascii with controls") << QByteArray("Hello,\tworld \\ ~ \x7f\r\n");
    QTest::newRow("kana and kanji") << cp932(QStringLiteral("ひらがなとカタカナと漢字。"));
    QTest::newRow("lines in both modes") << cp932(QStringLiteral("一行目\r\nsecond\r\n三行目の途中でabc切り替え\r\n\r\n"));
    QTest::newRow("ends in kanji without newline") << cp932(QStringLiteral("終わり"));
    QTest::newRow("lone LF and CR") << cp932(QStringLiteral("あ\nい\rう"));
    QTest::newRow("wave dash, minus, double bar, yen sign") << cp932(QStringLiteral("～－‖￥￠￡￢"));
    QTest::newRow("NEC special characters") << cp932(QStringLiteral("①②Ⅰ㈱㌔№"));
    QTest::newRow("trail bytes in the ASCII range") << QByteArray("\x83\x5c\x95\x5c\x8e\x40"); // ソ表司
}

void TestIso2022jp::roundTrip()
{
    QFETCH(QByteArray, text);
    SecureBytes jis;
    const auto enc = goma::jis::cp932ToIso2022jp(sv(text), jis);
    QVERIFY2(enc.ok, qPrintable(QString::number(enc.errorOffset)));
    const QByteArray encoded = bytes(jis);
    for (const char c : encoded)
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
    QVERIFY(linesEndInAscii(encoded));
    SecureBytes back;
    QVERIFY(goma::jis::iso2022jpToCp932(sv(encoded), back));
    QCOMPARE(bytes(back), text);
}

void TestIso2022jp::exactEncoding_data()
{
    QTest::addColumn<QByteArray>("cp932");
    QTest::addColumn<QByteArray>("jis");
    QTest::newRow("ascii stays as it is") << QByteArray("abc\r\n") << QByteArray("abc\r\n");
    QTest::newRow("one kana") << cp932(QStringLiteral("あ")) << QByteArray("\x1b$B$\"\x1b(B");
    QTest::newRow("back to ASCII before the line break")
        << cp932(QStringLiteral("あ\r\nい")) << QByteArray("\x1b$B$\"\x1b(B\r\n\x1b$B$$\x1b(B");
    QTest::newRow("wave dash is JIS 0x2141") << QByteArray("\x81\x60") << QByteArray("\x1b$B!A\x1b(B");
    QTest::newRow("circled one is row 13") << QByteArray("\x87\x40") << QByteArray("\x1b$B-!\x1b(B");
    QTest::newRow("last cell of row 84") << QByteArray("\xea\xa4") << QByteArray("\x1b$Bt&\x1b(B");
}

void TestIso2022jp::exactEncoding()
{
    QFETCH(QByteArray, cp932);
    QFETCH(QByteArray, jis);
    SecureBytes out;
    QVERIFY(goma::jis::cp932ToIso2022jp(sv(cp932), out));
    QCOMPARE(bytes(out), jis);
}

void TestIso2022jp::unconvertibleFails_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("offset");
    QTest::newRow("half-width katakana") << QByteArray("ok \xb1") << 3;
    QTest::newRow("IBM extension") << QByteArray("\x82\xa0\xfa\x40") << 2;
    QTest::newRow("NEC-selected IBM extension") << QByteArray("\xed\x40") << 0;
    QTest::newRow("user-defined area") << QByteArray("\xf0\x40") << 0;
    QTest::newRow("unassigned code in row 2") << QByteArray("\x81\xad") << 0;
    QTest::newRow("lead byte at the end") << QByteArray("abc\x82") << 3;
    QTest::newRow("invalid trail byte") << QByteArray("\x82\x7f") << 0;
    QTest::newRow("single byte 0x80") << QByteArray("\x80") << 0;
    QTest::newRow("ESC in the text") << QByteArray("a\x1b$Bb") << 1;
    QTest::newRow("shift-out in the text") << QByteArray("\x0e") << 0;
}

void TestIso2022jp::unconvertibleFails()
{
    QFETCH(QByteArray, text);
    QFETCH(int, offset);
    SecureBytes out{'k', 'e', 'e', 'p'};
    const auto r = goma::jis::cp932ToIso2022jp(sv(text), out);
    QVERIFY(!r.ok);
    QCOMPARE(r.errorOffset, static_cast<size_t>(offset));
    QCOMPARE(bytes(out), QByteArray("keep")); // nothing half-converted is appended
}

void TestIso2022jp::invalidJisFails_data()
{
    QTest::addColumn<QByteArray>("jis");
    QTest::newRow("JIS X 0212") << QByteArray("\x1b$(D\x30\x21\x1b(B");
    QTest::newRow("truncated escape") << QByteArray("abc\x1b$");
    QTest::newRow("lone ESC") << QByteArray("\x1b");
    QTest::newRow("odd byte in two-byte mode") << QByteArray("\x1b$B$");
    QTest::newRow("8-bit byte") << QByteArray("a\xa4\xa2");
    QTest::newRow("DEL in two-byte mode") << QByteArray("\x1b$B\x7f\x21");
    QTest::newRow("katakana out of range") << QByteArray("\x1b(I\x60");
}

void TestIso2022jp::invalidJisFails()
{
    QFETCH(QByteArray, jis);
    SecureBytes out{'k', 'e', 'e', 'p'};
    QVERIFY(!goma::jis::iso2022jpToCp932(sv(jis), out));
    QCOMPARE(bytes(out), QByteArray("keep"));
}

void TestIso2022jp::decodesOtherDesignations_data()
{
    QTest::addColumn<QByteArray>("jis");
    QTest::addColumn<QByteArray>("cp932");
    QTest::newRow("JIS X 0208-1978 designation") << QByteArray("\x1b$@$\"\x1b(B") << QByteArray("\x82\xa0");
    QTest::newRow("JIS X 0201 Roman") << QByteArray("\x1b(Jabc\x1b(B") << QByteArray("abc");
    QTest::newRow("half-width katakana") << QByteArray("\x1b(I\x31\x1b(B") << QByteArray("\xb1");
    QTest::newRow("line break inside two-byte mode") << QByteArray("\x1b$B$\"\r\n$$\x1b(B")
                                                     << QByteArray("\x82\xa0\r\n\x82\xa2");
}

void TestIso2022jp::decodesOtherDesignations()
{
    QFETCH(QByteArray, jis);
    QFETCH(QByteArray, cp932);
    SecureBytes out;
    QVERIFY(goma::jis::iso2022jpToCp932(sv(jis), out));
    QCOMPARE(bytes(out), cp932);
}

void TestIso2022jp::everyAcceptedCharacterRoundTrips()
{
    int accepted = 0;
    for (int lead = 0x81; lead <= 0xfc; ++lead) {
        for (int trail = 0x40; trail <= 0xfc; ++trail) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            SecureBytes jis;
            if (!goma::jis::cp932ToIso2022jp({pair, 2}, jis))
                continue;
            ++accepted;
            QVERIFY(goma::jis::isAssignedCp932(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)));
            SecureBytes back;
            QVERIFY(goma::jis::iso2022jpToCp932({jis.data(), jis.size()}, back));
            QCOMPARE(bytes(back), QByteArray(pair, 2));
        }
    }
    // JIS X 0208 (6879 characters) plus the 83 NEC special characters of row 13.
    QCOMPARE(accepted, 6879 + 83);
}

void TestIso2022jp::agreesWithIconvWhereTablesAgree()
{
    // For characters whose Unicode mapping is the same in both tables, the system's converter is a reference.
    const QByteArray text = cp932(QStringLiteral("東京都千代田区、吾輩は猫である。名前はまだ無い。\r\nABC ＡＢＣ ア ヴ ゐ 々 〆 ∀ ∵ Ω я\r\n"));
    QVERIFY(!text.isEmpty());
    const QByteArray reference = viaIconv("ISO-2022-JP", "CP932", text);
    QVERIFY(!reference.isEmpty());
    SecureBytes out;
    QVERIFY(goma::jis::cp932ToIso2022jp(sv(text), out));
    QCOMPARE(bytes(out), reference);
    SecureBytes back;
    QVERIFY(goma::jis::iso2022jpToCp932(sv(reference), back));
    QCOMPARE(bytes(back), text);
}

void TestIso2022jp::anyTwoBytesAreHandled()
{
    // Every input of up to three bytes either converts or fails cleanly (run under the sanitizers for reads
    // outside the input); whatever converts to ISO-2022-JP comes back.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const char in[3] = {static_cast<char>(a), static_cast<char>(b), '\x1b'};
            for (size_t len : {size_t(2), size_t(3)}) {
                SecureBytes jis;
                if (goma::jis::cp932ToIso2022jp({in, len}, jis)) {
                    SecureBytes back;
                    QVERIFY(goma::jis::iso2022jpToCp932({jis.data(), jis.size()}, back));
                    QVERIFY(back.size() == len && std::equal(back.begin(), back.end(), in));
                }
                SecureBytes decoded;
                goma::jis::iso2022jpToCp932({in, len}, decoded);
            }
        }
    }
}

QTEST_MAIN(TestIso2022jp)
#include "tst_goma_iso2022jp.moc"
