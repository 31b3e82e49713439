// Text decrypted from a message goes back to the same people: Shift+F9 encrypts to the message's
// recipients, signed by the same key; F9 offers them selected; a missing key stops with its name; New
// forgets; and Save asks before the plaintext replaces the message it came from. All through real GnuPG.

#include "gnupgtestenv.h"
#include "pgp/pgplibrary.h"
#include "platform/textcodec.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

using namespace zv;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// A GnuPG home holding one secret key and the other's public key.
bool makeHome(const QString &home, const char *secretKeyFile, const char *publicKeyFile)
{
    if (!QDir().mkpath(home) || !QFile::setPermissions(home, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                   QFileDevice::ExeOwner))
        return false;
    QFile conf(home + QStringLiteral("/gpg-agent.conf"));
    if (!conf.open(QIODevice::WriteOnly) || conf.write("allow-loopback-pinentry\n") < 0)
        return false;
    conf.close();
    const QString keys = QStringLiteral(ZV_SOURCE_DIR "/tests/goma/keys/");
    return GnupgTestEnv::gpg(home, {QStringLiteral("--import"), keys + QLatin1String(secretKeyFile),
                                    keys + QLatin1String(publicKeyFile)})
               .exitCode == 0;
}

// What GnuPG says of a message decrypted in a home: the key IDs it is addressed to (sorted), the primary
// fingerprint of a good signature (empty: none), and the plaintext.
struct Opened {
    QStringList to;
    QString signer;
    QByteArray plain;
    bool ok = false;
};

Opened openIn(const QString &home, const QByteArray &message)
{
    Opened o;
    const QString status = home + QStringLiteral("/status");
    const GpgRun run = GnupgTestEnv::gpg(home, {QStringLiteral("--status-file"), status, QStringLiteral("--decrypt")},
                                         message);
    o.ok = run.exitCode == 0;
    if (!o.ok)
        qWarning("gpg: %s", run.err.constData());
    o.plain = run.out;
    QFile f(status);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> w = line.split(' ');
            if (w.size() > 2 && w[1] == "ENC_TO")
                o.to << QString::fromLatin1(w[2]);
            if (w.size() > 11 && w[1] == "VALIDSIG")
                o.signer = QString::fromLatin1(w.last());
        }
    }
    o.to.sort();
    return o;
}

} // namespace

class TestReencrypt : public QObject {
    Q_OBJECT
    GnupgTestEnv m_gpg;
    QTemporaryDir m_homes{QStringLiteral("/tmp/zvrXXXXXX")}; // alice alone, bob alone
    QByteArray m_toBoth; // for alice and bob, signed by alice
    QString aliceHome() const { return m_homes.path() + QStringLiteral("/a"); }
    QString bobHome() const { return m_homes.path() + QStringLiteral("/b"); }

    // A main window on the real library, its text decrypted from message.
    std::unique_ptr<TfrmMain> decrypted(TestEnv &env, const QByteArray &message)
    {
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        w->Memo->setText(QString::fromLatin1(message));
        w->mnuPgpDecryptClick();
        return w;
    }

    // A main window on the real library with the file at path, holding the message for both, open and
    // decrypted; nullptr when the file could not be written or opened.
    std::unique_ptr<TfrmMain> decryptedFile(TestEnv &env, const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(m_toBoth) != m_toBoth.size())
            return nullptr;
        f.close();
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        if (!w->FileOpenByName(path))
            return nullptr;
        w->mnuPgpDecryptClick();
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_gpg.setUp());
        QVERIFY(m_homes.isValid());
        QVERIFY(makeHome(aliceHome(), "alice.sec.asc", "bob.pub.asc"));
        QVERIFY(makeHome(bobHome(), "bob.sec.asc", "alice.pub.asc"));
        const GpgRun made = GnupgTestEnv::gpg(m_gpg.mainHome(), {"--armor", "--trust-model", "always", "--encrypt",
                                                                  "--sign", "-u", GnupgTestEnv::kAlice, "-r",
                                                                  GnupgTestEnv::kAlice, "-r", GnupgTestEnv::kBob},
                                              u("会議は三時から\n").toUtf8());
        QCOMPARE(made.exitCode, 0);
        m_toBoth = made.out;
    }

    void cleanupTestCase()
    {
        for (const QString &home : {aliceHome(), bobHome()})
            QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", home, "--kill", "all"});
    }

    void cleanup()
    {
        TfrmMain::setPgp(nullptr);
        goma::setWindowsAllowed(false);
    }

    // Shift+F9 after F12: a message for the same two people, signed by the same key, that each can read.
    void sameRecipientsAndSigner()
    {
        TestEnv env;
        auto w = decrypted(env, m_toBoth);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        QVERIFY2(env.dialogs.messages.isEmpty(), "decryption failed");
        QCOMPARE(w->Memo->plainText(), u("会議は三時から\n"));
        w->Memo->setSelStart(w->Memo->textLength());
        w->Memo->setText(w->Memo->plainText() + u("了解です\n")); // editing keeps the memory
        w->DispatchShortcut(w->mnuPgpReencrypt);
        QVERIFY2(env.dialogs.messages.isEmpty(), env.dialogs.messages.isEmpty() ? "" : qPrintable(env.dialogs.messages[0].text));
        const QByteArray message = w->Memo->plainText().toLatin1();
        QVERIFY(message.startsWith("-----BEGIN PGP MESSAGE-----"));
        const Opened original = openIn(aliceHome(), m_toBoth);
        for (const QString &home : {aliceHome(), bobHome()}) {
            const Opened o = openIn(home, message);
            QVERIFY2(o.ok, qPrintable(home));
            QCOMPARE(o.to, original.to);
            QCOMPARE(o.signer, QString::fromLatin1(GnupgTestEnv::kAlice));
            QCOMPARE(o.plain, encodeCp932(u("会議は三時から\n了解です\n"), LineBreakStyle::CrLf).bytes);
        }
        // The text is a message again: there is nothing left to answer to.
        w->mnuPgpClick();
        QVERIFY(!w->mnuPgpReencrypt->isEnabled());
    }

    // F9 after F12 opens the chooser with the message's recipients selected.
    void chooserOffersTheRecipients()
    {
        TestEnv env;
        auto w = decrypted(env, m_toBoth);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        QVERIFY(env.dialogs.messages.isEmpty());
        goma::setWindowsAllowed(true);
        QStringList selected;
        QTimer::singleShot(50, [&] {
            QWidget *chooser = QApplication::activeModalWidget();
            if (!chooser)
                return;
            if (auto *list = chooser->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList")))
                for (QTreeWidgetItem *item : list->selectedItems())
                    selected << item->toolTip(2);
            chooser->close();
        });
        env.dialogs.expectMessage(IDOK); // the cancelled chooser fails the command
        w->DispatchShortcut(w->mnuPgpEncrypt);
        selected.sort();
        QCOMPARE(selected, QStringList({QString::fromLatin1(GnupgTestEnv::kAlice), QString::fromLatin1(GnupgTestEnv::kBob)}));
        QCOMPARE(w->Memo->plainText(), u("会議は三時から\n"));
    }

    // A recipient whose key is not in the keyring is named, and nothing is encrypted.
    void missingKeyStopsWithItsName()
    {
        const GpgRun made = GnupgTestEnv::gpg(m_gpg.otherHome(), {"--armor", "--trust-model", "always", "--encrypt",
                                                                   "-r", GnupgTestEnv::kAlice, "-r", GnupgTestEnv::kCarol},
                                              "to alice and carol\n");
        QCOMPARE(made.exitCode, 0);
        const QStringList to = openIn(aliceHome(), made.out).to;
        QCOMPARE(to.size(), 2);
        TestEnv env;
        auto w = decrypted(env, made.out);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        QVERIFY(env.dialogs.messages.isEmpty());
        w->mnuPgpClick();
        QVERIFY(w->mnuPgpReencrypt->isEnabled());
        env.dialogs.expectMessage(IDOK);
        w->DispatchShortcut(w->mnuPgpReencrypt);
        QCOMPARE(env.dialogs.messages.size(), 1);
        const QString shown = env.dialogs.messages[0].text;
        QVERIFY2(shown.startsWith(u("PGP暗号化に失敗しました。")), qPrintable(shown));
        // carol's is the one of the two key IDs that alice's keyring does not know
        const bool named = std::any_of(to.begin(), to.end(), [&](const QString &id) {
            return shown.contains(id) && GnupgTestEnv::gpg(m_gpg.mainHome(), {"--list-keys", id}).exitCode != 0;
        });
        QVERIFY2(named, qPrintable(shown));
        QCOMPARE(w->Memo->plainText(), u("to alice and carol\n"));
    }

    // New, and opening another file, forget the message; an empty text cannot be encrypted again.
    void theMemoryBelongsToTheDocument()
    {
        TestEnv env;
        auto w = decrypted(env, m_toBoth);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        w->mnuPgpClick();
        QVERIFY(w->mnuPgpReencrypt->isEnabled());
        w->Memo->setText(QString());
        w->mnuPgpClick();
        QVERIFY(!w->mnuPgpReencrypt->isEnabled());
        w->Memo->setText(u("戻した本文"));
        w->mnuPgpClick();
        QVERIFY(w->mnuPgpReencrypt->isEnabled());
        w->Memo->setModified(false);
        w->FileNewClick();
        w->Memo->setText(u("新しい本文"));
        w->mnuPgpClick();
        QVERIFY(!w->mnuPgpReencrypt->isEnabled());

        auto w2 = decrypted(env, m_toBoth);
        const QString other = env.dir() + QStringLiteral("/other.txt");
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("plain\r\n");
        f.close();
        w2->Memo->setModified(false);
        QVERIFY(w2->FileOpenByName(other));
        w2->mnuPgpClick();
        QVERIFY(!w2->mnuPgpReencrypt->isEnabled());
    }

    // Save right after F12 of a file that held a message asks first.
    void saveOverTheMessageAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("encrypt again") << int(IDYES);
        QTest::newRow("save anyway") << int(IDNO);
        QTest::newRow("cancel") << int(IDCANCEL);
    }

    void saveOverTheMessageAsks()
    {
        QFETCH(int, answer);
        TestEnv env;
        const QString folder = env.dir() + QStringLiteral("/mail");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/message.asc");
        auto w = decryptedFile(env, path);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        QVERIFY(w);
        QFile f(path);
        QCOMPARE(w->Memo->plainText(), u("会議は三時から\n"));
        env.dialogs.expectMessage(answer);
        w->FileSaveClick();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].flags, unsigned(MB_YESNOCANCEL | MB_ICONEXCLAMATION));
        QVERIFY(env.dialogs.messages[0].text.contains(u("もう一度暗号化してから保存しますか?")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray onDisk = f.readAll();
        f.close();
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("message.asc")});
        if (answer == IDYES) {
            QVERIFY(onDisk.startsWith("-----BEGIN PGP MESSAGE-----"));
            QVERIFY(!onDisk.contains("会議") && !onDisk.contains(QByteArray::fromHex("89EF8B63"))); // UTF-8 or CP932
            const Opened o = openIn(bobHome(), onDisk);
            QVERIFY(o.ok);
            QCOMPARE(o.signer, QString::fromLatin1(GnupgTestEnv::kAlice));
        } else if (answer == IDNO) {
            // the file's own line breaks (LF) are kept
            QCOMPARE(onDisk, QByteArray::fromHex("89EF8B6382CD8E4F8E9E82A982E70A")); // 会議は三時から LF
        } else {
            QCOMPARE(onDisk, m_toBoth);
        }
    }

    // Closing with Yes to the save prompt right after F12 asks the same question: "encrypt again" leaves an
    // armoured message on disk, cancel keeps the window open and the file as it was.
    void closeOverTheMessageAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("encrypt again") << int(IDYES);
        QTest::newRow("cancel") << int(IDCANCEL);
    }

    void closeOverTheMessageAsks()
    {
        QFETCH(int, answer);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/message.asc");
        auto w = decryptedFile(env, path);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        QVERIFY(w);
        QFile f(path);
        QVERIFY(w->Memo->modified());
        env.dialogs.expectMessage(IDYES); // the save prompt
        env.dialogs.expectMessage(answer); // encrypt again before saving?
        QCOMPARE(w->FormCloseQuery(), answer == IDYES);
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(env.dialogs.messages[1].text.contains(u("もう一度暗号化してから保存しますか?")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray onDisk = f.readAll();
        f.close();
        if (answer == IDYES) {
            QVERIFY(onDisk.startsWith("-----BEGIN PGP MESSAGE-----"));
            QVERIFY(openIn(bobHome(), onDisk).ok);
        } else {
            QCOMPARE(onDisk, m_toBoth);
        }
    }
};

QTEST_MAIN(TestReencrypt)
#include "test_reencrypt.moc"
