// The PGP functions of goma against a real GnuPG in a throwaway home.
#include "gnupgtestenv.h"

#include "goma.h"
#include "gomainternal.h"
#include "iso2022jp.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QDialogButtonBox>
#include <QFrame>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <iconv.h>

namespace {

// A whole-text conversion with the system's iconv; empty when it fails.
QByteArray viaIconv(const char *to, const char *from, const QByteArray &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(in.size() * 2 + 4, '\0');
    char *ip = const_cast<char *>(in.constData());
    size_t inLeft = in.size();
    char *o = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &ip, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        return {};
    out.truncate(o - out.data());
    return out;
}

// CP932 bytes of a Unicode text.
QByteArray cp932(const QString &text) { return viaIconv("CP932", "UTF-8", text.toUtf8()); }

QByteArray toIso2022jp(const QByteArray &cp932Text)
{
    goma::SecureBytes out;
    if (!goma::jis::cp932ToIso2022jp({cp932Text.constData(), static_cast<size_t>(cp932Text.size())}, out))
        return {};
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

struct Call {
    int rc = 0;
    bool hasBlock = false;
    QByteArray text;
    int charset = 0; // of the block
};

Call takeBlock(int rc, GOMA_HGLOBAL block)
{
    Call c;
    c.rc = rc;
    c.hasBlock = block != nullptr;
    if (block) {
        const char *p = GOMABlockLock(block);
        c.text = QByteArray(p, static_cast<qsizetype>(GOMABlockSize(block)));
        c.charset = GOMABlockCharset(block);
        // The block is NUL-terminated right after its size.
        if (p[GOMABlockSize(block)] != '\0')
            c.text += "<not terminated>";
        GOMABlockUnlock(block);
        GOMABlockFree(block);
    }
    return c;
}

Call encryptText(int encrypt, int sign, const QList<QByteArray> &recipients, const QByteArray &text, int charset,
                 void *owner = nullptr)
{
    std::vector<const char *> table(100, nullptr);
    for (int i = 0; i < recipients.size(); ++i)
        table[static_cast<size_t>(i)] = recipients[i].constData();
    GOMA_HGLOBAL block = reinterpret_cast<GOMA_HGLOBAL>(0x1); // must be overwritten
    const int rc = GOMAEncryptText(owner, encrypt, sign, table.data(), static_cast<int>(recipients.size()),
                                   text.constData(), &block, charset);
    return takeBlock(rc, block);
}

Call decryptText(const QByteArray &text, int charset = GOMA_CHARSET_SHIFTJIS, void *owner = nullptr)
{
    GOMA_HGLOBAL block = reinterpret_cast<GOMA_HGLOBAL>(0x1);
    const int rc = GOMADecryptText(owner, text.constData(), &block, charset);
    return takeBlock(rc, block);
}

bool allLinesEndInCrLf(const QByteArray &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))
            return false;
    }
    return text.endsWith("\r\n");
}

// The armour headers following the line beginLine.
QByteArrayList armourHeaders(const QByteArray &armour, const QByteArray &beginLine)
{
    QByteArrayList headers;
    const QByteArrayList lines = armour.split('\n');
    qsizetype i = 0;
    while (i < lines.size() && lines[i].trimmed() != beginLine)
        ++i;
    for (++i; i < lines.size() && !lines[i].trimmed().isEmpty(); ++i)
        headers << lines[i].trimmed();
    return headers;
}

quint32 crc24(const QByteArray &data)
{
    quint32 crc = 0xB704CE;
    for (const char ch : data) {
        crc ^= static_cast<quint32>(static_cast<uchar>(ch)) << 16;
        for (int i = 0; i < 8; ++i) {
            crc <<= 1;
            if (crc & 0x1000000)
                crc ^= 0x1864CFB;
        }
    }
    return crc & 0xFFFFFF;
}

// Flips one byte of an armoured message near its end and writes a matching checksum, so that only
// GnuPG's integrity check can notice.
QByteArray tamper(const QByteArray &armour)
{
    const QByteArrayList lines = armour.split('\n');
    QByteArray body;
    qsizetype i = 0;
    while (i < lines.size() && !lines[i].trimmed().isEmpty())
        ++i; // BEGIN line and headers
    qsizetype bodyStart = ++i;
    while (i < lines.size() && !lines[i].startsWith('=') && !lines[i].startsWith("-----"))
        body += lines[i++].trimmed();
    QByteArray data = QByteArray::fromBase64(body);
    data[data.size() - 8] = static_cast<char>(data[data.size() - 8] ^ 0x01);
    QByteArray out;
    for (qsizetype j = 0; j < bodyStart; ++j)
        out += lines[j] + '\n';
    const QByteArray b64 = data.toBase64();
    for (qsizetype j = 0; j < b64.size(); j += 64)
        out += b64.mid(j, 64) + "\r\n";
    const quint32 crc = crc24(data);
    QByteArray crcBytes;
    crcBytes.append(static_cast<char>((crc >> 16) & 0xff)).append(static_cast<char>((crc >> 8) & 0xff)).append(static_cast<char>(crc & 0xff));
    out += '=' + crcBytes.toBase64() + "\r\n-----END PGP MESSAGE-----\r\n";
    return out;
}

// Runs f on the library's modal window with the given object name once it is up (polling for a while).
void onDialog(const QString &objectName, std::function<void(QWidget *)> f, QString *seen = nullptr, int tries = 500)
{
    QTimer::singleShot(tries == 500 ? 0 : 20, [=] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->objectName() == objectName) {
            if (seen)
                *seen = objectName;
            f(w);
        } else if (tries > 0) {
            onDialog(objectName, f, seen, tries - 1);
        } else if (w) {
            w->close(); // never leave a test hanging in a window it did not expect
        }
    });
}

void clickOk(QWidget *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    QVERIFY(box);
    box->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class TestGomaPgp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void libraryOutputReadByGpg_data();
    void libraryOutputReadByGpg();
    void gpgOutputReadByLibrary_data();
    void gpgOutputReadByLibrary();
    void brokenMessagesFail_data();
    void brokenMessagesFail();
    void signatureVerdicts_data();
    void signatureVerdicts();
    void encryptionRefused_data();
    void encryptionRefused();
    void encryptToSelfAddsOwnKey();
    void wrongPassphraseFails();
    void recipientChooser_data();
    void recipientChooser();
    void unverifiedRecipientNeedsConfirmation_data();
    void unverifiedRecipientNeedsConfirmation();
    void signerChooserWhenNoDefault();
    void verifyWindowShowsVerdict();
    void lockOutIsAsked_data();
    void lockOutIsAsked();
    void everySignatureIsShown();
    void unsignedMessageSaysSo();
    void charactersCp932LacksComeBackAsUtf8();
    void signedLineLengthAtTheLimit();
    void clearSignSaysWhatItChanges();
    void recipientChooserByKeyboard();

private:
    QByteArray m_text; // Japanese CP932 sample with the characters that differ between Unicode tables
    std::unique_ptr<GnupgTestEnv> m_env;
};

void TestGomaPgp::initTestCase()
{
    m_env = std::make_unique<GnupgTestEnv>();
    QVERIFY2(m_env->setUp(), "the test GnuPG homes could not be prepared");
    m_text = cp932(QStringLiteral("日本語の文書です。\r\n波ダッシュ～と全角マイナス－、①②、ｶﾀｶﾅではなくカタカナ。\r\n"
                                  "-----BEGIN PGP MESSAGE----- で始まる行\r\nFrom the top\r\n\r\n最後の行\r\n"));
    QVERIFY(!m_text.isEmpty());
    // The half-width katakana above cannot go into ISO-2022-JP; the sample for code 1 leaves them out.
    QVERIFY(GOMAInit());
}

void TestGomaPgp::init()
{
    goma::setWindowsAllowed(false);
    goma::setTestPassphrase(GnupgTestEnv::kAlicePassphrase);
    QVERIFY(m_env->writePreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n"));
}

void TestGomaPgp::cleanup()
{
    goma::setWindowsAllowed(false);
}

static QByteArray sampleFor(const QByteArray &text, int charset)
{
    if (charset == GOMA_CHARSET_SHIFTJIS)
        return text;
    QByteArray t = text;
    return t.replace(cp932(QStringLiteral("ｶﾀｶﾅではなく")), QByteArray());
}

void TestGomaPgp::roundTrip_data()
{
    QTest::addColumn<int>("encrypt");
    QTest::addColumn<int>("sign");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QByteArray>("begin");
    QTest::addColumn<QByteArray>("charsetHeaderAfter");
    for (int charset : {GOMA_CHARSET_SHIFTJIS, GOMA_CHARSET_JIS}) {
        const char *cs = charset == GOMA_CHARSET_JIS ? "JIS" : "Shift_JIS";
        QTest::addRow("encrypt %s", cs) << 1 << 0 << charset << QByteArray("-----BEGIN PGP MESSAGE-----")
                                        << QByteArray("-----BEGIN PGP MESSAGE-----");
        QTest::addRow("sign %s", cs) << 0 << 1 << charset << QByteArray("-----BEGIN PGP SIGNED MESSAGE-----")
                                     << QByteArray("-----BEGIN PGP SIGNATURE-----");
        QTest::addRow("encrypt+sign %s", cs) << 1 << 1 << charset << QByteArray("-----BEGIN PGP MESSAGE-----")
                                             << QByteArray("-----BEGIN PGP MESSAGE-----");
    }
}

void TestGomaPgp::roundTrip()
{
    QFETCH(int, encrypt);
    QFETCH(int, sign);
    QFETCH(int, charset);
    QFETCH(QByteArray, begin);
    QFETCH(QByteArray, charsetHeaderAfter);
    const QByteArray text = sampleFor(m_text, charset);

    const Call enc = encryptText(encrypt, sign, {"bob@example.org"}, text, charset);
    QCOMPARE(enc.rc, 1);
    QVERIFY(enc.hasBlock);
    QVERIFY2(enc.text.startsWith(begin + "\r\n"), enc.text.left(80).constData());
    QVERIFY(allLinesEndInCrLf(enc.text));
    const QByteArray wantHeader = charset == GOMA_CHARSET_JIS ? "Charset: ISO-2022-JP" : "Charset: Shift_JIS";
    QVERIFY2(armourHeaders(enc.text, charsetHeaderAfter).contains(wantHeader), enc.text.constData());
    if (encrypt)
        QVERIFY(!enc.text.contains(text.left(12))); // no plaintext in the message
    if (!encrypt)
        QVERIFY(armourHeaders(enc.text, "-----BEGIN PGP SIGNED MESSAGE-----").first().startsWith("Hash: "));

    const Call dec = decryptText(enc.text);
    QCOMPARE(dec.rc, 1);
    QCOMPARE(dec.text, text);
    const goma::Verification v = goma::lastVerification();
    if (sign) {
        QCOMPARE(v.verdict, goma::Verdict::Good);
        QCOMPARE(v.fingerprint, QString::fromLatin1(GnupgTestEnv::kAlice));
        QVERIFY(v.userId.contains(QLatin1String("alice@example.org")));
        QVERIFY(qAbs(v.signedAt.secsTo(QDateTime::currentDateTimeUtc())) < 3600);
    } else {
        QCOMPARE(v.verdict, goma::Verdict::None);
    }
}

void TestGomaPgp::libraryOutputReadByGpg_data()
{
    QTest::addColumn<int>("encrypt");
    QTest::addColumn<int>("sign");
    QTest::addColumn<int>("charset");
    for (int charset : {GOMA_CHARSET_SHIFTJIS, GOMA_CHARSET_JIS}) {
        const char *cs = charset == GOMA_CHARSET_JIS ? "JIS" : "Shift_JIS";
        QTest::addRow("encrypt %s", cs) << 1 << 0 << charset;
        QTest::addRow("sign %s", cs) << 0 << 1 << charset;
        QTest::addRow("encrypt+sign %s", cs) << 1 << 1 << charset;
    }
}

void TestGomaPgp::libraryOutputReadByGpg()
{
    QFETCH(int, encrypt);
    QFETCH(int, sign);
    QFETCH(int, charset);
    const QByteArray text = sampleFor(m_text, charset);
    const QByteArray sent = charset == GOMA_CHARSET_JIS ? toIso2022jp(text) : text;
    QVERIFY(!sent.isEmpty());

    const Call enc = encryptText(encrypt, sign, {GnupgTestEnv::kBob}, text, charset);
    QCOMPARE(enc.rc, 1);
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(),
                                         {QStringLiteral("--status-fd"), QStringLiteral("2"),
                                          encrypt ? QStringLiteral("--decrypt") : QStringLiteral("--verify")},
                                         enc.text);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    if (encrypt)
        QCOMPARE(run.out, sent);
    if (sign) {
        QVERIFY2(run.err.contains("[GNUPG:] GOODSIG"), run.err.constData());
        QVERIFY(run.err.contains(QByteArray("[GNUPG:] VALIDSIG ") + GnupgTestEnv::kAlice));
    } else {
        QVERIFY(!run.err.contains("SIG "));
    }
    if (!encrypt) {
        // What gpg printed as signed text is exactly what was sent.
        const GpgRun plain = GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--decrypt")}, enc.text);
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(QByteArray(plain.out).replace("\r\n", "\n"), QByteArray(sent).replace("\r\n", "\n"));
    }
}

void TestGomaPgp::gpgOutputReadByLibrary_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("plaintextCharset"); // what gpg is given: "cp932", "iso-2022-jp" or "utf-8"
    QTest::addColumn<QByteArray>("addHeader");         // armour header another sender's tool would add
    QTest::addColumn<bool>("signedBy");
    QTest::newRow("encrypted+signed") << QStringList{"--armor", "--encrypt", "--sign", "-u", GnupgTestEnv::kBob, "-r",
                                                     GnupgTestEnv::kAlice}
                                      << QByteArray("cp932") << QByteArray() << true;
    QTest::newRow("encrypted only") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kBob}
                                    << QByteArray("cp932") << QByteArray() << false;
    QTest::newRow("encrypted ISO-2022-JP") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                           << QByteArray("iso-2022-jp") << QByteArray("Charset: ISO-2022-JP") << false;
    QTest::newRow("encrypted UTF-8") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                     << QByteArray("utf-8") << QByteArray("Charset: UTF-8") << false;
    QTest::newRow("clear-signed") << QStringList{"--clearsign", "-u", GnupgTestEnv::kBob} << QByteArray("cp932")
                                  << QByteArray() << true;
    QTest::newRow("signed, not encrypted") << QStringList{"--armor", "--sign", "-u", GnupgTestEnv::kBob}
                                           << QByteArray("cp932") << QByteArray() << true;
    // GnuPG never writes "Charset:": the text itself tells UTF-8 and ISO-2022-JP apart from CP932.
    QTest::newRow("UTF-8 without header") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                          << QByteArray("utf-8") << QByteArray() << false;
    QTest::newRow("ISO-2022-JP without header") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                                << QByteArray("iso-2022-jp") << QByteArray() << false;
    QTest::newRow("EUC-JP, header in lower case") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                                  << QByteArray("euc-jp") << QByteArray("charset: euc-jp") << false;
    QTest::newRow("CP932 named Windows-31J") << QStringList{"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}
                                             << QByteArray("cp932") << QByteArray("Charset: Windows-31J") << false;
    QTest::newRow("clear-signed UTF-8 without header") << QStringList{"--clearsign", "-u", GnupgTestEnv::kBob}
                                                       << QByteArray("utf-8") << QByteArray() << true;
}

void TestGomaPgp::gpgOutputReadByLibrary()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, plaintextCharset);
    QFETCH(QByteArray, addHeader);
    QFETCH(bool, signedBy);
    const QByteArray text = sampleFor(m_text, GOMA_CHARSET_JIS);
    const QByteArray given = plaintextCharset == "cp932"    ? text
                             : plaintextCharset == "utf-8"  ? viaIconv("UTF-8", "CP932", text)
                             : plaintextCharset == "euc-jp" ? viaIconv("EUC-JP-MS", "CP932", text)
                                                            : toIso2022jp(text);
    QVERIFY(!given.isEmpty() && (plaintextCharset == "cp932" || given != text));
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), args, given);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QByteArray armour = run.out;
    if (!addHeader.isEmpty())
        armour.replace("-----BEGIN PGP MESSAGE-----\n", "-----BEGIN PGP MESSAGE-----\n" + addHeader + "\n");

    const Call dec = decryptText(armour);
    QCOMPARE(dec.rc, 1);
    QCOMPARE(dec.text, text);
    const goma::Verification v = goma::lastVerification();
    QCOMPARE(v.verdict, signedBy ? goma::Verdict::Good : goma::Verdict::None);
    if (signedBy)
        QCOMPARE(v.fingerprint, QString::fromLatin1(GnupgTestEnv::kBob));
}

void TestGomaPgp::brokenMessagesFail_data()
{
    QTest::addColumn<QByteArray>("message");
    const QByteArray longText = m_text.repeated(400); // long enough that GnuPG writes plaintext before it fails
    const Call enc = encryptText(1, 0, {GnupgTestEnv::kAlice}, longText, GOMA_CHARSET_SHIFTJIS);
    QCOMPARE(enc.rc, 1);
    QTest::newRow("tampered (integrity check)") << tamper(enc.text);
    QByteArrayList lines = enc.text.split('\n');
    QTest::newRow("truncated armour") << lines.mid(0, lines.size() / 2).join('\n');
    const GpgRun forCarol = GnupgTestEnv::gpg(m_env->otherHome(), {"--armor", "--encrypt", "-r", GnupgTestEnv::kCarol}, m_text);
    QCOMPARE(forCarol.exitCode, 0);
    QTest::newRow("for a key we do not have") << forCarol.out;
    QTest::newRow("plain text") << m_text;
    QTest::newRow("empty armour") << QByteArray("-----BEGIN PGP MESSAGE-----\r\n\r\n-----END PGP MESSAGE-----\r\n");
    QTest::newRow("empty text") << QByteArray();
    const GpgRun detached = GnupgTestEnv::gpg(m_env->mainHome(), {"--armor", "--detach-sign", "-u", GnupgTestEnv::kBob}, m_text);
    QTest::newRow("detached signature alone") << detached.out;
}

void TestGomaPgp::brokenMessagesFail()
{
    QFETCH(QByteArray, message);
    const Call dec = decryptText(message);
    QCOMPARE(dec.rc, 0);
    QVERIFY(!dec.hasBlock);
}

void TestGomaPgp::signatureVerdicts_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("rc");
    QTest::addColumn<goma::Verdict>("verdict");
    QTest::addColumn<QString>("signer");

    const Call signedText = encryptText(0, 1, {}, m_text, GOMA_CHARSET_SHIFTJIS);
    QCOMPARE(signedText.rc, 1);
    QTest::newRow("good") << signedText.text << 1 << goma::Verdict::Good << QString::fromLatin1(GnupgTestEnv::kAlice);
    QByteArray altered = signedText.text;
    altered.replace(cp932(QStringLiteral("日本語")), cp932(QStringLiteral("英語の")));
    QVERIFY(altered != signedText.text);
    QTest::newRow("bad: text altered") << altered << 0 << goma::Verdict::Bad << QString::fromLatin1(GnupgTestEnv::kAlice);

    const GpgRun carolClear = GnupgTestEnv::gpg(m_env->otherHome(), {"--clearsign", "-u", GnupgTestEnv::kCarol}, m_text);
    QCOMPARE(carolClear.exitCode, 0);
    QTest::newRow("unknown signer, clear-signed") << carolClear.out << 1 << goma::Verdict::UnknownKey
                                                  << QString::fromLatin1(GnupgTestEnv::kCarol);
    const GpgRun carolEnc = GnupgTestEnv::gpg(m_env->otherHome(), {"--armor", "--trust-model", "always", "--encrypt", "--sign", "-u",
                                                                   GnupgTestEnv::kCarol, "-r", GnupgTestEnv::kAlice},
                                              m_text);
    QCOMPARE(carolEnc.exitCode, 0);
    QTest::newRow("unknown signer, encrypted") << carolEnc.out << 1 << goma::Verdict::UnknownKey
                                               << QString::fromLatin1(GnupgTestEnv::kCarol);
}

void TestGomaPgp::signatureVerdicts()
{
    QFETCH(QByteArray, message);
    QFETCH(int, rc);
    QFETCH(goma::Verdict, verdict);
    QFETCH(QString, signer);
    const Call dec = decryptText(message);
    QCOMPARE(dec.rc, rc);
    QCOMPARE(dec.hasBlock, rc != 0);
    const goma::Verification v = goma::lastVerification();
    QCOMPARE(v.verdict, verdict);
    QVERIFY2(!v.fingerprint.isEmpty() && signer.endsWith(v.fingerprint), qPrintable(v.fingerprint));
    if (rc)
        QVERIFY(dec.text.startsWith(m_text.left(18)));
}

void TestGomaPgp::encryptionRefused_data()
{
    QTest::addColumn<int>("encrypt");
    QTest::addColumn<int>("sign");
    QTest::addColumn<QByteArrayList>("recipients");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("charset");
    QTest::addColumn<QByteArray>("preferences");
    QTest::addColumn<QStringList>("reason"); // each part must be in the reason the library gives
    const QByteArray prefs = QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n";
    const QByteArrayList bob{"bob@example.org"};
    const auto parts = [](std::initializer_list<const char *> l) {
        QStringList out;
        for (const char *p : l)
            out << QString::fromUtf8(p);
        return out;
    };
    QTest::newRow("no recipient and no windows") << 1 << 0 << QByteArrayList{} << m_text << 2 << prefs
                                                 << parts({"受信者が指定されていません"});
    QTest::newRow("unknown recipient") << 1 << 0 << QByteArrayList{"nobody@example.org"} << m_text << 2 << prefs
                                       << parts({"nobody@example.org", "公開鍵が見つかりません"});
    QTest::newRow("recipient not in keyring (carol)") << 1 << 0 << QByteArrayList{GnupgTestEnv::kCarol} << m_text << 2
                                                      << prefs << parts({"公開鍵が見つかりません"});
    QTest::newRow("revoked recipient") << 1 << 0 << QByteArrayList{"dave@example.org"} << m_text << 2 << prefs
                                       << parts({"失効しています"});
    QTest::newRow("ambiguous recipient") << 1 << 0 << QByteArrayList{"example.org"} << m_text << 2 << prefs
                                         << parts({"当てはまる鍵が"});
    QTest::newRow("one of two recipients unknown") << 1 << 0 << QByteArrayList{"bob@example.org", "nobody@example.org"}
                                                   << m_text << 2 << prefs << parts({"nobody@example.org"});
    QTest::newRow("half-width katakana as JIS") << 1 << 0 << bob << cp932(QStringLiteral("あ\r\nいｱｲｳ")) << 1 << prefs
                                                << parts({"「ｱ」", "2行、2列", "JIS"});
    QTest::newRow("IBM extension as JIS, signed") << 0 << 1 << bob << QByteArray("\xfa\x40") << 1 << prefs
                                                  << parts({"1行、1列", "JIS"});
    QTest::newRow("unknown character-set code") << 1 << 0 << bob << m_text << 3 << prefs << parts({"文字コード"});
    QTest::newRow("neither encrypt nor sign") << 0 << 0 << bob << m_text << 2 << prefs << parts({"暗号化も署名も"});
    QTest::newRow("two secret keys, no default, no windows") << 0 << 1 << bob << m_text << 2 << QByteArray()
                                                             << parts({"既定の署名鍵"});
    QTest::newRow("GnuPG home that does not exist") << 1 << 1 << bob << m_text << 2
                                                    << prefs + "gnupg-home=/nonexistent/goma-test-home\n"
                                                    << parts({"bob@example.org"});
}

void TestGomaPgp::encryptionRefused()
{
    QFETCH(int, encrypt);
    QFETCH(int, sign);
    QFETCH(QByteArrayList, recipients);
    QFETCH(QByteArray, text);
    QFETCH(int, charset);
    QFETCH(QByteArray, preferences);
    QFETCH(QStringList, reason);
    QVERIFY(m_env->writePreferences(preferences));
    const Call enc = encryptText(encrypt, sign, recipients, text, charset);
    QCOMPARE(enc.rc, 0);
    QVERIFY(!enc.hasBlock);
    const QString why = QString::fromUtf8(GOMALastError());
    QCOMPARE(goma::lastFailure().text, why);
    for (const QString &part : reason)
        QVERIFY2(why.contains(part), qPrintable(why));
}

void TestGomaPgp::encryptToSelfAddsOwnKey()
{
    const auto recipientsOf = [this](const QByteArray &armour) {
        const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--list-packets")}, armour);
        return run.out.count(":pubkey enc packet:");
    };
    // Preferences that do not mention it encrypt to the user's own key too.
    const Call byDefault = encryptText(1, 0, {"bob@example.org"}, m_text, 2);
    QCOMPARE(byDefault.rc, 1);
    QCOMPARE(recipientsOf(byDefault.text), 2);

    QVERIFY(m_env->writePreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\nencrypt-to-self=0\n"));
    const Call plain = encryptText(1, 0, {"bob@example.org"}, m_text, 2);
    QCOMPARE(plain.rc, 1);
    QCOMPARE(recipientsOf(plain.text), 1);

    QVERIFY(m_env->writePreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\nencrypt-to-self=1\n"));
    const Call toSelf = encryptText(1, 0, {"bob@example.org"}, m_text, 2);
    QCOMPARE(toSelf.rc, 1);
    QCOMPARE(recipientsOf(toSelf.text), 2);
    // Her own key is not listed twice when she is also a named recipient.
    const Call self = encryptText(1, 0, {GnupgTestEnv::kAlice}, m_text, 2);
    QCOMPARE(recipientsOf(self.text), 1); // her own key is not added twice
}

void TestGomaPgp::wrongPassphraseFails()
{
    m_env->flushAgentCache();
    goma::setTestPassphrase("not-her-passphrase");
    const Call wrong = encryptText(0, 1, {}, m_text, 2);
    QCOMPARE(wrong.rc, 0);
    QVERIFY(!wrong.hasBlock);
    QCOMPARE(goma::lastFailure().text, QStringLiteral("パスフレーズが違います。"));
    QCOMPARE(QString::fromUtf8(GOMALastError()), QStringLiteral("パスフレーズが違います。"));
    goma::setTestPassphrase(GnupgTestEnv::kAlicePassphrase);
    const Call right = encryptText(0, 1, {}, m_text, 2);
    QCOMPARE(right.rc, 1);
}

void TestGomaPgp::recipientChooser_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("rc");
    QTest::newRow("filter to bob, OK") << QStringLiteral("bob") << true << 1;
    QTest::newRow("filter by key ID, OK") << QString::fromLatin1(GnupgTestEnv::kBob).right(8) << true << 1;
    QTest::newRow("cancel") << QStringLiteral("bob") << false << 0;
}

void TestGomaPgp::recipientChooser()
{
    QFETCH(QString, filter);
    QFETCH(bool, accept);
    QFETCH(int, rc);
    goma::setWindowsAllowed(true);
    QWidget owner;
    QStringList visibleAfterFilter;
    QString seen;
    onDialog(QStringLiteral("gomaRecipientDialog"), [&](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("gomaRecipientFilter"));
        auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList"));
        QVERIFY(edit && list);
        QCOMPARE(list->topLevelItemCount(), 2); // alice and bob; dave is revoked
        QCOMPARE(list->headerItem()->text(3), QStringLiteral("有効性"));
        edit->setText(filter);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (!list->topLevelItem(i)->isHidden()) {
                visibleAfterFilter << list->topLevelItem(i)->text(1);
                list->topLevelItem(i)->setSelected(true);
            }
        }
        auto *box = dialog->findChild<QDialogButtonBox *>();
        if (accept)
            box->button(QDialogButtonBox::Ok)->click();
        else
            box->button(QDialogButtonBox::Cancel)->click();
    }, &seen);
    const Call enc = encryptText(1, 0, {}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(seen, QStringLiteral("gomaRecipientDialog"));
    QCOMPARE(visibleAfterFilter, QStringList{QStringLiteral("bob@example.org")});
    QCOMPARE(enc.rc, rc);
    QCOMPARE(enc.hasBlock, rc != 0);
    // A cancel is no failure to explain.
    QCOMPARE(goma::lastFailure().cancelled, !accept);
    QCOMPARE(QByteArray(GOMALastError()), QByteArray());
    if (rc) {
        const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--list-packets")}, enc.text);
        QCOMPARE(run.out.count(":pubkey enc packet:"), 2); // bob, and alice's own key
        goma::setWindowsAllowed(false);
        QCOMPARE(decryptText(enc.text).text, m_text);
    }
}

void TestGomaPgp::unverifiedRecipientNeedsConfirmation_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("declined") << false;
}

void TestGomaPgp::unverifiedRecipientNeedsConfirmation()
{
    QFETCH(bool, confirm);
    // Carol's public key, imported without any trust: its validity is unknown here.
    const QString carolKey = QStringLiteral(ZV_SOURCE_DIR "/tests/goma/keys/carol.pub.asc");
    QCOMPARE(GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--import"), carolKey}).exitCode, 0);
    const auto removeCarol = qScopeGuard([this] {
        GnupgTestEnv::gpg(m_env->mainHome(), {"--yes", "--delete-keys", GnupgTestEnv::kCarol});
    });
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString asked;
    QString question;
    onDialog(QStringLiteral("gomaRecipientDialog"), [&](QWidget *dialog) {
        auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList"));
        QVERIFY(list);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = list->topLevelItem(i);
            if (item->text(1) == QLatin1String("carol@example.org")) {
                QCOMPARE(item->text(3), QStringLiteral("不明"));
                item->setSelected(true);
            }
        }
        onDialog(QStringLiteral("gomaTrustQuestion"), [&](QWidget *box) {
            question = static_cast<QMessageBox *>(box)->text();
            static_cast<QMessageBox *>(box)->button(confirm ? QMessageBox::Yes : QMessageBox::No)->click();
        }, &asked);
        clickOk(dialog);
    });
    const Call enc = encryptText(1, 0, {}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(asked, QStringLiteral("gomaTrustQuestion"));
    QVERIFY(question.contains(QLatin1String("carol@example.org")));
    QCOMPARE(enc.rc, confirm ? 1 : 0);
    QCOMPARE(enc.hasBlock, confirm);
    if (confirm) {
        // Only carol can read it: the other home, which holds her secret key, decrypts it.
        const GpgRun run = GnupgTestEnv::gpg(m_env->otherHome(), {QStringLiteral("--decrypt")}, enc.text);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, m_text);
    }
}

void TestGomaPgp::signerChooserWhenNoDefault()
{
    QVERIFY(m_env->writePreferences(QByteArray()));
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString seen;
    onDialog(QStringLiteral("gomaSignerDialog"), [&](QWidget *dialog) {
        auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList"));
        QVERIFY(list);
        QCOMPARE(list->topLevelItemCount(), 2);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->text(1) == QLatin1String("bob@example.org"))
                list->setCurrentItem(list->topLevelItem(i));
        clickOk(dialog);
    }, &seen);
    const Call signedText = encryptText(0, 1, {}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(seen, QStringLiteral("gomaSignerDialog"));
    QCOMPARE(signedText.rc, 1);
    goma::setWindowsAllowed(false);
    QCOMPARE(decryptText(signedText.text).rc, 1);
    QCOMPARE(goma::lastVerification().fingerprint, QString::fromLatin1(GnupgTestEnv::kBob));
}

void TestGomaPgp::verifyWindowShowsVerdict()
{
    const Call signedText = encryptText(0, 1, {}, m_text, GOMA_CHARSET_SHIFTJIS);
    QCOMPARE(signedText.rc, 1);
    QByteArray altered = signedText.text;
    altered.replace(cp932(QStringLiteral("最後")), cp932(QStringLiteral("最初")));
    goma::setWindowsAllowed(true);
    QWidget owner;
    for (const auto &[message, headline] : {std::pair{signedText.text, QStringLiteral("正しい署名です。")},
                                            std::pair{altered, QStringLiteral("不正な署名です。")}}) {
        QString shown;
        QString fingerprintShown;
        onDialog(QStringLiteral("gomaVerifyDialog"), [&](QWidget *dialog) {
            QVERIFY(dialog->isModal());
            QCOMPARE(dialog->parentWidget(), &owner);
            shown = dialog->findChild<QLabel *>(QStringLiteral("gomaVerdict"))->text();
            for (QLabel *l : dialog->findChildren<QLabel *>())
                if (l->text() == QLatin1String(GnupgTestEnv::kAlice))
                    fingerprintShown = l->text();
            clickOk(dialog);
        });
        decryptText(message, GOMA_CHARSET_SHIFTJIS, &owner);
        QVERIFY2(shown.startsWith(headline), qPrintable(shown));
        QCOMPARE(fingerprintShown, QString::fromLatin1(GnupgTestEnv::kAlice));
    }
}

void TestGomaPgp::lockOutIsAsked_data()
{
    QTest::addColumn<bool>("go");
    QTest::newRow("encrypt anyway") << true;
    QTest::newRow("stop") << false;
}

void TestGomaPgp::lockOutIsAsked()
{
    QFETCH(bool, go);
    QVERIFY(m_env->writePreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\nencrypt-to-self=0\n"));
    // Carol alone: no key of the user's own among the recipients.
    const QString carolKey = QStringLiteral(ZV_SOURCE_DIR "/tests/goma/keys/carol.pub.asc");
    QCOMPARE(GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--import"), carolKey}).exitCode, 0);
    const auto removeCarol = qScopeGuard([this] {
        GnupgTestEnv::gpg(m_env->mainHome(), {"--yes", "--delete-keys", GnupgTestEnv::kCarol});
    });
    // Valid for us, so that only the lock-out is in question.
    QCOMPARE(GnupgTestEnv::gpg(m_env->mainHome(), {"--import-ownertrust"}, QByteArray(GnupgTestEnv::kCarol) + ":6:\n").exitCode, 0);
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString question;
    onDialog(QStringLiteral("gomaLockOutQuestion"), [&](QWidget *w) {
        auto *box = static_cast<QMessageBox *>(w);
        question = box->text();
        box->button(go ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    const Call enc = encryptText(1, 0, {GnupgTestEnv::kCarol}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QVERIFY2(question.contains(QStringLiteral("あなた自身は復号できなくなります")), qPrintable(question));
    QCOMPARE(enc.rc, go ? 1 : 0);
    if (!go) {
        QVERIFY(goma::lastFailure().cancelled);
        return;
    }
    // Bob, who is the user too here, is not asked about: his key is the user's own.
    question.clear();
    const Call toBob = encryptText(1, 0, {"bob@example.org"}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(toBob.rc, 1);
    QVERIFY(question.isEmpty());
}

void TestGomaPgp::everySignatureIsShown()
{
    // One text, signed by alice and by bob.
    const GpgRun both = GnupgTestEnv::gpg(m_env->mainHome(), {"--clearsign", "-u", GnupgTestEnv::kAlice, "-u", GnupgTestEnv::kBob},
                                          m_text);
    QCOMPARE(both.exitCode, 0);
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString headline;
    int panels = 0;
    QStringList fingerprints;
    onDialog(QStringLiteral("gomaVerifyDialog"), [&](QWidget *dialog) {
        headline = dialog->findChild<QLabel *>(QStringLiteral("gomaVerdict"))->text();
        panels = int(dialog->findChildren<QFrame *>(QStringLiteral("gomaSignature")).size());
        for (QLabel *l : dialog->findChildren<QLabel *>())
            if (l->text() == QLatin1String(GnupgTestEnv::kAlice) || l->text() == QLatin1String(GnupgTestEnv::kBob))
                fingerprints << l->text();
        clickOk(dialog);
    });
    const Call dec = decryptText(both.out, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(dec.rc, 1);
    QCOMPARE(headline, QStringLiteral("2 件の署名はすべて正しい署名です。"));
    QCOMPARE(panels, 2);
    fingerprints.sort();
    QCOMPARE(fingerprints, (QStringList{QString::fromLatin1(GnupgTestEnv::kAlice), QString::fromLatin1(GnupgTestEnv::kBob)}));
    const std::vector<goma::Verification> all = goma::lastSignatures();
    QCOMPARE(all.size(), size_t(2));
    for (const goma::Verification &v : all)
        QCOMPARE(v.verdict, goma::Verdict::Good);

    // Bob's signature with carol's, whose key is missing here: the whole is not good.
    const QString carolKey = QStringLiteral(ZV_SOURCE_DIR "/tests/goma/keys/bob.sec.asc");
    QCOMPARE(GnupgTestEnv::gpg(m_env->otherHome(), {QStringLiteral("--import"), carolKey}).exitCode, 0);
    const GpgRun mixed = GnupgTestEnv::gpg(m_env->otherHome(), {"--clearsign", "-u", GnupgTestEnv::kBob, "-u", GnupgTestEnv::kCarol},
                                           m_text);
    GnupgTestEnv::gpg(m_env->otherHome(), {"--yes", "--delete-secret-and-public-keys", GnupgTestEnv::kBob});
    QCOMPARE(mixed.exitCode, 0);
    goma::setWindowsAllowed(false);
    QCOMPARE(decryptText(mixed.out).rc, 1);
    QCOMPARE(goma::lastVerification().verdict, goma::Verdict::UnknownKey);
    QCOMPARE(goma::lastSignatures().size(), size_t(2));
}

void TestGomaPgp::unsignedMessageSaysSo()
{
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}, m_text);
    QCOMPARE(run.exitCode, 0);
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString headline;
    onDialog(QStringLiteral("gomaVerifyDialog"), [&](QWidget *dialog) {
        headline = dialog->findChild<QLabel *>(QStringLiteral("gomaVerdict"))->text();
        clickOk(dialog);
    });
    const Call dec = decryptText(run.out, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(dec.rc, 1);
    QVERIFY2(headline.startsWith(QStringLiteral("署名はありません。")), qPrintable(headline));
    // The keys it was addressed to stay known, for whoever wants to answer to them.
    QCOMPARE(goma::lastRecipients().size(), 1);
}

void TestGomaPgp::charactersCp932LacksComeBackAsUtf8()
{
    const QByteArray utf8 = QStringLiteral("絵文字😀と한글も\r\n").toUtf8();
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice}, utf8);
    QCOMPARE(run.exitCode, 0);
    const Call dec = decryptText(run.out);
    QCOMPARE(dec.rc, 1);
    QCOMPARE(dec.charset, GOMA_CHARSET_UTF8);
    QCOMPARE(dec.text, utf8);
    // Text that CP932 can carry still comes back as CP932.
    const GpgRun plain = GnupgTestEnv::gpg(m_env->mainHome(), {"--armor", "--encrypt", "-r", GnupgTestEnv::kAlice},
                                           viaIconv("UTF-8", "CP932", m_text));
    QCOMPARE(decryptText(plain.out).charset, GOMA_CHARSET_SHIFTJIS);
}

void TestGomaPgp::signedLineLengthAtTheLimit()
{
    // The longest line that is signed whole, and one byte more, which is refused rather than cut.
    const QByteArray longest = QByteArray(19992, 'a') + "\r\n";
    const Call ok = encryptText(0, 1, {}, longest, GOMA_CHARSET_SHIFTJIS);
    QCOMPARE(ok.rc, 1);
    QVERIFY(ok.text.contains(longest));
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {"--decrypt"}, ok.text);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QByteArray(run.out).replace("\r\n", "\n"), QByteArray(19992, 'a') + "\n");
    const Call cut = encryptText(0, 1, {}, "x\r\n" + QByteArray(19993, 'a') + "\r\n", GOMA_CHARSET_SHIFTJIS);
    QCOMPARE(cut.rc, 0);
    QVERIFY2(QString::fromUtf8(GOMALastError()).startsWith(QStringLiteral("2行目が長すぎる")), GOMALastError());
    // Encrypting has no such limit.
    QCOMPARE(encryptText(1, 0, {"bob@example.org"}, QByteArray(30000, 'a'), GOMA_CHARSET_SHIFTJIS).rc, 1);
}

void TestGomaPgp::clearSignSaysWhatItChanges()
{
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString said;
    onDialog(QStringLiteral("gomaSignNotice"), [&](QWidget *w) {
        auto *box = static_cast<QMessageBox *>(w);
        said = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    const Call enc = encryptText(0, 1, {}, "trailing blanks  \r\nno final break", GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(enc.rc, 0);
    QVERIFY(goma::lastFailure().cancelled);
    QCOMPARE(said, QStringLiteral("署名の形式により、行末の空白は署名されず検証後には削除され、最後に改行が加わります。"));
    // A text the format leaves alone is signed without a word.
    said.clear();
    QCOMPARE(encryptText(0, 1, {}, m_text, GOMA_CHARSET_SHIFTJIS, &owner).rc, 1);
    QVERIFY(said.isEmpty());
}

void TestGomaPgp::recipientChooserByKeyboard()
{
    // Type in the filter, Down to the list, Enter: no mouse and no Space needed.
    goma::setWindowsAllowed(true);
    QWidget owner;
    QString seen;
    onDialog(QStringLiteral("gomaRecipientDialog"), [&](QWidget *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("gomaRecipientFilter"));
        QVERIFY(edit);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("bob"));
        QTest::keyClick(edit, Qt::Key_Down);
        // The list has the keyboard now (the focus moved there), and Enter takes the row under the cursor.
        auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList"));
        QVERIFY(list);
        QCOMPARE(list->selectedItems().size(), 1);
        QTest::keyClick(list, Qt::Key_Return);
    }, &seen);
    const Call enc = encryptText(1, 0, {}, m_text, GOMA_CHARSET_SHIFTJIS, &owner);
    QCOMPARE(seen, QStringLiteral("gomaRecipientDialog"));
    QCOMPARE(enc.rc, 1);
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(), {QStringLiteral("--list-packets")}, enc.text);
    QVERIFY(run.out.contains("keyid ")); // bob's and alice's own
    QCOMPARE(run.out.count(":pubkey enc packet:"), 2);
}

QTEST_MAIN(TestGomaPgp)
#include "tst_goma_pgp.moc"
