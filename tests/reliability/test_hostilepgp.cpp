// Hostile and broken input through the real PGP library and a real GnuPG in a throwaway home. Every case
// either gives nothing back (0, no block) or gives the text together with the verdict GnuPG really reached;
// plaintext that was not authenticated never comes back, and no call leaves anything on disk.

#include "gnupgtestenv.h"

#include "goma.h"
#include "gomainternal.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <array>
#include <iconv.h>

namespace {

struct Call {
    int rc = 0;
    bool hasBlock = false;
    QByteArray text;
};

Call decryptText(const QByteArray &text)
{
    GOMA_HGLOBAL block = reinterpret_cast<GOMA_HGLOBAL>(0x1); // must be overwritten
    Call c;
    c.rc = GOMADecryptText(nullptr, text.constData(), &block, GOMA_CHARSET_SHIFTJIS);
    c.hasBlock = block != nullptr;
    if (block) {
        c.text = QByteArray(GOMABlockLock(block), qsizetype(GOMABlockSize(block)));
        GOMABlockUnlock(block);
        GOMABlockFree(block);
    }
    return c;
}

QByteArray cp932(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open("CP932", "UTF-8");
    QByteArray out(utf8.size() * 2 + 4, '\0');
    char *ip = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char *o = out.data();
    size_t outLeft = size_t(out.size());
    const size_t rc = iconv(cd, &ip, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(o - out.data());
    return out;
}

QByteArray crlf(QByteArray text) { return text.replace("\r\n", "\n").replace('\n', "\r\n"); }

quint32 crc24(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 crc = i << 16;
            for (int k = 0; k < 8; ++k) {
                crc <<= 1;
                if (crc & 0x1000000)
                    crc ^= 0x1864CFB;
            }
            t[i] = crc & 0xFFFFFF;
        }
        return t;
    }();
    quint32 crc = 0xB704CE;
    for (const char ch : data)
        crc = ((crc << 8) ^ table[((crc >> 16) ^ uchar(ch)) & 0xFF]) & 0xFFFFFF;
    return crc;
}

// An armoured block around the bytes, with a correct checksum.
QByteArray armour(const QByteArray &packets, const QByteArray &kind = "MESSAGE")
{
    QByteArray out = "-----BEGIN PGP " + kind + "-----\r\n\r\n";
    const QByteArray b64 = packets.toBase64();
    for (qsizetype i = 0; i < b64.size(); i += 64)
        out += b64.mid(i, 64) + "\r\n";
    const quint32 crc = crc24(packets);
    const char c[3] = {char(crc >> 16), char(crc >> 8), char(crc)};
    return out + '=' + QByteArray(c, 3).toBase64() + "\r\n-----END PGP " + kind + "-----\r\n";
}

// The packets inside an armoured block.
QByteArray dearmour(const QByteArray &text)
{
    const QByteArrayList lines = text.split('\n');
    qsizetype i = 0;
    while (i < lines.size() && !lines[i].trimmed().isEmpty())
        ++i;
    QByteArray body;
    for (++i; i < lines.size() && !lines[i].startsWith('=') && !lines[i].startsWith("-----"); ++i)
        body += lines[i].trimmed();
    return QByteArray::fromBase64(body);
}

// Bytes from a fixed seed, so that every run sees the same "random" input.
QByteArray seededBytes(quint32 seed, qsizetype n)
{
    QRandomGenerator gen(seed);
    QByteArray out(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char(gen.bounded(1, 256)); // no NUL: the library takes a NUL-terminated text
    return out;
}

// A long CP932 document from a fixed seed: Japanese and ASCII lines with CR LF.
QByteArray seededDocument(quint32 seed, qsizetype size, const QByteArray &marker)
{
    static const QStringList words{QStringLiteral("日本語"), QStringLiteral("暗号"), QStringLiteral("署名"),
                                   QStringLiteral("～"), QStringLiteral("－"), QStringLiteral("①"),
                                   QStringLiteral("ｶﾀｶﾅ"), QStringLiteral("text"), QStringLiteral("12345"),
                                   QStringLiteral(" "), QStringLiteral("。")};
    QList<QByteArray> encoded;
    for (const QString &w : words)
        encoded << cp932(w);
    QRandomGenerator gen(seed);
    QByteArray out;
    out.reserve(size + 256);
    out += marker + "\r\n";
    while (out.size() < size) {
        const int n = int(gen.bounded(1, 30));
        for (int i = 0; i < n; ++i)
            out += encoded[gen.bounded(int(encoded.size()))];
        out += "\r\n";
    }
    return out;
}

// ---- what lies on disk --------------------------------------------------------------------------------

struct FileState {
    qint64 size = -1;
    QDateTime modified;
    bool operator==(const FileState &) const = default;
};
using Listing = QMap<QString, FileState>;

Listing listing(const QString &dir, bool recursive)
{
    Listing out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    recursive ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        out.insert(fi.filePath(), {fi.isFile() ? fi.size() : -1, fi.lastModified()});
    }
    return out;
}

// GnuPG's own files in its home: the keyrings and trust database, their backups and locks, the random seed,
// the agent's sockets and its key store.
bool gnupgOwnFile(const QString &home, const QString &path)
{
    const QString top = path.mid(home.size() + 1).section(u'/', 0, 0);
    static const QStringList patterns{"pubring.kbx", "pubring.kbx~", "trustdb.gpg", "random_seed", "S.*", ".#lk*",
                                      "*.lock", "private-keys-v1.d", "public-keys.d", "tofu.db", "sshcontrol",
                                      "gpg-agent.conf", "gpg.conf"};
    for (const QString &p : patterns)
        if (QDir::match(p, top))
            return true;
    return false;
}

bool fileContains(const QString &path, const QByteArray &needle)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > 512 * 1024 * 1024 || !f.open(QIODevice::ReadOnly))
        return false;
    QByteArray carry;
    while (!f.atEnd()) {
        const QByteArray chunk = carry + f.read(1 << 20);
        if (chunk.contains(needle))
            return true;
        carry = chunk.right(needle.size());
    }
    return false;
}

} // namespace

class TestHostilePgp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostileInput_data();
    void hostileInput();
    void hugeMessage();
    void compressedMessageStopsAtTheCap();

private:
    // Files that appeared or changed since the snapshot, in the places anything could be left: our own
    // temporary folder (TMPDIR), the working folder, the GnuPG home outside GnuPG's own files and the
    // settings folder; and any file in the shared temporary folders that holds the secret marker.
    QStringList leftovers(const QMap<QString, Listing> &before) const;
    QMap<QString, Listing> snapshot() const;

    std::unique_ptr<GnupgTestEnv> m_env;
    QTemporaryDir m_tmp{QStringLiteral("/tmp/zvtmpXXXXXX")};
    QByteArray m_oldTmpdir;
    QString m_oldCwd;
    QDateTime m_started;
    QByteArray m_marker; // in every secret text, to be looked for on disk
    QByteArray m_erinText;
};

QMap<QString, Listing> TestHostilePgp::snapshot() const
{
    QMap<QString, Listing> s;
    s.insert(m_tmp.path(), listing(m_tmp.path(), true)); // TMPDIR and the working folder
    s.insert(m_env->mainHome(), listing(m_env->mainHome(), true));
    s.insert(m_env->configHome(), listing(m_env->configHome(), true));
    return s;
}

QStringList TestHostilePgp::leftovers(const QMap<QString, Listing> &before) const
{
    QStringList found;
    const auto now = snapshot();
    for (auto dir = now.cbegin(); dir != now.cend(); ++dir) {
        const Listing &was = before.value(dir.key());
        for (auto f = dir->cbegin(); f != dir->cend(); ++f) {
            if (was.value(f.key(), FileState{-2, {}}) == f.value())
                continue;
            if (dir.key() == m_env->mainHome() && gnupgOwnFile(dir.key(), f.key())) {
                if (fileContains(f.key(), m_marker))
                    found << f.key() + QStringLiteral(" (holds the secret text)");
                continue;
            }
            found << f.key();
        }
    }
    for (const QString &shared : {QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QStringLiteral("/dev/shm")}) {
        const QFileInfoList entries = QDir(shared).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo &fi : entries)
            if (fi.lastModified() >= m_started && fileContains(fi.filePath(), m_marker))
                found << fi.filePath() + QStringLiteral(" (holds the secret text)");
    }
    return found;
}

void TestHostilePgp::initTestCase()
{
    m_started = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(m_tmp.isValid());
    // GnuPG and its agent start from here on with a temporary folder of our own, which must stay empty.
    m_oldTmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(m_tmp.path() + QStringLiteral("/tmp")));
    // ... and an empty working folder, which must stay empty too.
    m_oldCwd = QDir::currentPath();
    QVERIFY(QDir().mkpath(m_tmp.path() + QStringLiteral("/tmp")) && QDir().mkpath(m_tmp.path() + QStringLiteral("/cwd")));
    QVERIFY(QDir::setCurrent(m_tmp.path() + QStringLiteral("/cwd")));
    m_env = std::make_unique<GnupgTestEnv>();
    QVERIFY2(m_env->setUp(), "the test GnuPG homes could not be prepared");
    const QString data = QStringLiteral(ZV_SOURCE_DIR "/tests/reliability/data/");
    QCOMPARE(GnupgTestEnv::gpg(m_env->mainHome(), {"--import", data + "erin-revoked.pub.asc"}).exitCode, 0);
    QVERIFY(GOMAInit());
    m_marker = "ZV-SECRET-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    m_erinText = cp932(QStringLiteral("失効した鍵で署名された文書です。\r\nSigned by a key that was revoked later.\r\n"));
    QVERIFY(!m_erinText.isEmpty());
}

void TestHostilePgp::cleanupTestCase()
{
    GOMARelease();
    m_env.reset(); // ends the agents
    qputenv("TMPDIR", m_oldTmpdir);
    QDir::setCurrent(m_oldCwd);
}

void TestHostilePgp::hostileInput_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("rc");
    QTest::addColumn<goma::Verdict>("verdict");
    QTest::addColumn<QByteArray>("text"); // what comes back when rc is 1

    const QByteArray secret = crlf(cp932(QStringLiteral("秘密の文書です。\n")) + m_marker + "\n");
    const QString home = m_env->mainHome();
    auto gpg = [&](const QStringList &args, const QByteArray &input) {
        const GpgRun run = GnupgTestEnv::gpg(home, args, input);
        if (run.exitCode != 0)
            qWarning("gpg %s: %s", qPrintable(args.join(u' ')), run.err.constData());
        return run.out;
    };
    const goma::Verdict none = goma::Verdict::None;

    // Not PGP at all, or PGP in name only.
    QTest::newRow("random bytes") << seededBytes(1, 4096) << 0 << none << QByteArray();
    QTest::newRow("random packets in a valid armour") << armour(seededBytes(2, 3000)) << 0 << none << QByteArray();
    QTest::newRow("armour of invalid base64")
        << QByteArray("-----BEGIN PGP MESSAGE-----\r\n\r\n!!!!not base64 at all ~~~\r\n=AAAA\r\n-----END PGP MESSAGE-----\r\n")
        << 0 << none << QByteArray();
    QTest::newRow("header line quoted in a mail")
        << crlf("> -----BEGIN PGP MESSAGE-----\n> hQEMA\n> -----END PGP MESSAGE-----\n") << 0 << none << QByteArray();
    QTest::newRow("signed-message header over plain text")
        << crlf("-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\n" + secret + "-----END PGP SIGNED MESSAGE-----\n")
        << 0 << none << QByteArray();

    // Encrypted without integrity protection: GnuPG hands out plaintext it cannot vouch for.
    QTest::newRow("no integrity protection")
        << gpg({"--rfc2440", "--armor", "--trust-model", "always", "--encrypt", "-r", GnupgTestEnv::kBob}, secret)
        << 0 << none << QByteArray();
    QTest::newRow("no integrity protection, signed")
        << gpg({"--rfc2440", "--armor", "--trust-model", "always", "--sign", "-u", GnupgTestEnv::kBob, "--encrypt", "-r",
                GnupgTestEnv::kBob},
               secret)
        << 0 << none << QByteArray();
    QTest::newRow("no integrity protection, passphrase")
        << gpg({"--rfc2440", "--armor", "--symmetric", "--cipher-algo", "AES256"}, secret) << 0 << none << QByteArray();
    // An integrity-protected message whose protection packet was swapped for the old unprotected kind:
    // the same ciphertext bytes, announced as packet type 9 instead of 18.
    {
        QByteArray packets = dearmour(gpg({"--armor", "--trust-model", "always", "--encrypt", "-r", GnupgTestEnv::kBob}, secret));
        qsizetype at = -1;
        for (qsizetype i = 0; i + 1 < packets.size() && at < 0;) {
            const uchar ctb = uchar(packets[i]);
            if (!(ctb & 0x80))
                break;
            const int tag = (ctb & 0x40) ? (ctb & 0x3f) : ((ctb >> 2) & 0x0f);
            if (tag == 18) {
                at = i;
                break;
            }
            // New-format one- or two-octet lengths are all the key packet before it needs.
            const uchar l = uchar(packets[i + 1]);
            const qsizetype len = (ctb & 0x40) ? (l < 192 ? l : ((l - 192) << 8) + uchar(packets[i + 2]) + 192)
                                               : l; // old format, one-octet length
            i += 2 + ((ctb & 0x40) && l >= 192 ? 1 : 0) + len;
        }
        QVERIFY(at >= 0);
        packets[at] = char(0xC0 | 9);
        QTest::newRow("protection packet relabelled as unprotected") << armour(packets) << 0 << none << QByteArray();
    }

    // Clear-signed texts that lie about themselves.
    const QByteArray signedText = crlf(cp932(QStringLiteral("署名された文書です。\n二行目\n")));
    const QByteArray clear = gpg({"--clearsign", "-u", GnupgTestEnv::kBob, "--digest-algo", "SHA256"}, signedText);
    QVERIFY(clear.contains("Hash: SHA256"));
    QTest::newRow("Hash header names another hash")
        << QByteArray(clear).replace("Hash: SHA256", "Hash: SHA1") << 0 << goma::Verdict::Error << QByteArray();
    QTest::newRow("Hash header missing")
        << QByteArray(clear).replace("Hash: SHA256\n", "") << 0 << goma::Verdict::Error << QByteArray();
    QTest::newRow("a line slipped in")
        << QByteArray(clear).replace(signedText.left(10), "injected line\r\n" + signedText.left(10)) << 0
        << goma::Verdict::Bad << QByteArray();
    QTest::newRow("unsigned text around the signed block")
        << "Unsigned words before.\r\n" + clear + "Unsigned words after.\r\n" << 1 << goma::Verdict::Good << signedText;
    {
        QByteArray cut = clear;
        cut.truncate(cut.indexOf("-----BEGIN PGP SIGNATURE-----") + 40);
        QTest::newRow("signature block cut off") << cut << 0 << none << QByteArray();
    }
    QTest::newRow("a second, unsigned block after a good one")
        << clear + "\r\n-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n\r\n" + secret +
               "-----BEGIN PGP SIGNATURE-----\r\n\r\n-----END PGP SIGNATURE-----\r\n"
        << 0 << none << QByteArray();

    // Signatures by a key that was revoked after signing.
    QFile erinClear(QStringLiteral(ZV_SOURCE_DIR "/tests/reliability/data/erin-clearsigned.asc"));
    QFile erinEnc(QStringLiteral(ZV_SOURCE_DIR "/tests/reliability/data/erin-encrypted.asc"));
    QVERIFY(erinClear.open(QIODevice::ReadOnly) && erinEnc.open(QIODevice::ReadOnly));
    QTest::newRow("revoked signer, clear-signed") << erinClear.readAll() << 1 << goma::Verdict::Revoked << m_erinText;
    QTest::newRow("revoked signer, encrypted") << erinEnc.readAll() << 1 << goma::Verdict::Revoked << m_erinText;
}

void TestHostilePgp::hostileInput()
{
    QFETCH(QByteArray, message);
    QFETCH(int, rc);
    QFETCH(goma::Verdict, verdict);
    QFETCH(QByteArray, text);
    QVERIFY(!message.isEmpty());

    const auto before = snapshot();
    const Call got = decryptText(message);
    const goma::Verification v = goma::lastVerification();
    QCOMPARE(got.rc, rc);
    QCOMPARE(got.hasBlock, rc != 0);
    QCOMPARE(v.verdict, verdict);
    if (rc) {
        QCOMPARE(got.text, text);
        QVERIFY2(!got.text.contains(m_marker), "text that was not signed came back");
    }
    if (verdict == goma::Verdict::Revoked)
        QVERIFY2(v.detail.contains(QStringLiteral("失効")), qPrintable(v.detail));
    const QStringList left = leftovers(before);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u'\n')));
}

void TestHostilePgp::hugeMessage()
{
    // 64 MB of text, signed and encrypted by GnuPG without compression, with one byte changed near the end:
    // GnuPG finds out only after it has handed over nearly all of the plaintext, and none of it may come back
    // or be left anywhere.
    QElapsedTimer timer;
    timer.start();
    const QByteArray text = seededDocument(64, 64 * 1024 * 1024, m_marker);
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(),
                                         {"--compress-algo", "none", "--sign", "-u", GnupgTestEnv::kBob, "--encrypt",
                                          "-r", GnupgTestEnv::kBob},
                                         text);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.size() > text.size());
    QByteArray packets = run.out;
    packets[packets.size() - 30] = char(packets[packets.size() - 30] ^ 0x01);
    const QByteArray message = armour(packets);
    qInfo("64 MB signed and encrypted by gpg, changed and armoured in %lld ms", timer.restart());

    const auto before = snapshot();
    const Call got = decryptText(message);
    qInfo("refused by the library in %lld ms", timer.restart());
    QCOMPARE(got.rc, 0);
    QVERIFY(!got.hasBlock);
    QCOMPARE(goma::lastVerification().verdict, goma::Verdict::None);
    const QStringList left = leftovers(before);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u'\n')));
}

void TestHostilePgp::compressedMessageStopsAtTheCap()
{
    // 96 MiB of one repeated line, compressed by GnuPG into about 100 KB: decrypting it would fill the
    // memory. The library stops at its cap, hands nothing back, and says why in Japanese.
    const QByteArray text = QByteArray("0123456789abcdef\r\n").repeated(96 * 1024 * 1024 / 18);
    const GpgRun run = GnupgTestEnv::gpg(m_env->mainHome(),
                                         {"--armor", "--compress-algo", "zlib", "-z", "9", "--encrypt", "-r",
                                          GnupgTestEnv::kBob},
                                         text);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.out.size() < 1024 * 1024);
    qInfo("%lld bytes of text in a message of %lld bytes", qlonglong(text.size()), qlonglong(run.out.size()));
    const auto before = snapshot();
    const Call got = decryptText(run.out);
    QCOMPARE(got.rc, 0);
    QVERIFY(!got.hasBlock);
    QCOMPARE(QString::fromUtf8(GOMALastError()), QStringLiteral("復号した内容が大きすぎます（上限 64 MiB）。処理を中止しました。"));
    const QStringList left = leftovers(before);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestHostilePgp)
#include "test_hostilepgp.moc"
