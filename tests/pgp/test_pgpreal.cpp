// The PGP commands of the main window through our real library and a throwaway GnuPG home: signing,
// verifying, a failed verification leaving the text untouched, the reason of each failure in the one box
// the command shows, and texts whose line breaks or lines GnuPG would otherwise change.

#include "gnupgtestenv.h"
#include "pgp/pgplibrary.h"
#include "platform/textcodec.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

using namespace zv;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// The library's own preferences in the test's configuration folder.
void writeGomaPreferences(const QByteArray &text)
{
    const QString dir = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zuvelo-pgp");
    QDir().mkpath(dir);
    QFile prefs(dir + QStringLiteral("/goma.conf"));
    QVERIFY(prefs.open(QIODevice::WriteOnly));
    prefs.write(text);
}

// Runs f on the library's modal window with this object name once it is up.
void onModal(const QString &name, std::function<void(QWidget *)> f, int tries = 500)
{
    QTimer::singleShot(20, [=] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->objectName() == name)
            f(w);
        else if (tries > 0)
            onModal(name, f, tries - 1);
        else if (w)
            w->close();
    });
}

QByteArray crlfCp932(const QString &text)
{
    return encodeCp932(text, LineBreakStyle::CrLf).bytes;
}

} // namespace

class TestPgpReal : public QObject {
    Q_OBJECT
    GnupgTestEnv m_gpg;
    QTemporaryDir m_publicOnly{QStringLiteral("/tmp/zvpXXXXXX")}; // a GnuPG home with bob's public key alone

private slots:
    void initTestCase()
    {
        QVERIFY(m_gpg.setUp());
        qputenv("GNUPGHOME", QFile::encodeName(m_gpg.mainHome()));
        goma::setWindowsAllowed(false);
        goma::setTestPassphrase(GnupgTestEnv::kAlicePassphrase);
        QVERIFY(m_publicOnly.isValid());
        QCOMPARE(GnupgTestEnv::gpg(m_publicOnly.path(), {"--import", ZV_SOURCE_DIR "/tests/goma/keys/bob.pub.asc"}).exitCode, 0);
    }

    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("gpgconf"), {"--homedir", m_publicOnly.path(), "--kill", "all"});
        // The agent removes its sockets as it goes: the home can be removed once it has gone.
        QTRY_VERIFY_WITH_TIMEOUT(m_publicOnly.remove(), 10000);
    }

    void cleanup()
    {
        goma::setWindowsAllowed(false);
        goma::setTestPassphrase(GnupgTestEnv::kAlicePassphrase);
    }

    // Every failure shows the command's own message and, in the same box, why it failed.
    void failureReasonsReachTheUser_data()
    {
        QTest::addColumn<QString>("command"); // handler: sign, encrypt, decrypt, keys
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("preferences");
        QTest::addColumn<QByteArray>("settings"); // the program's Other Data section
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reason");
        const QByteArray alice = QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n";
        const GpgRun forCarol = GnupgTestEnv::gpg(m_gpg.otherHome(), {"--armor", "--encrypt", "-r", GnupgTestEnv::kCarol},
                                                  "for carol\n");
        QCOMPARE(forCarol.exitCode, 0);
        const GpgRun signedByBob = GnupgTestEnv::gpg(m_gpg.mainHome(), {"--clearsign", "-u", GnupgTestEnv::kBob},
                                                     "signed words\n");
        QCOMPARE(signedByBob.exitCode, 0);
        QTest::newRow("no secret key for the message")
            << "decrypt" << QString::fromLatin1(forCarol.out) << alice << QByteArray() << u("復号化と検証に失敗しました。")
            << u("この暗号文を復号できる秘密鍵がありません。宛先の鍵: ");
        QTest::newRow("altered signed text")
            << "decrypt" << QString::fromLatin1(signedByBob.out).replace(u("signed"), u("changed")) << alice << QByteArray()
            << u("復号化と検証に失敗しました。") << u("署名が文書と一致しません。");
        const GpgRun noMdc = GnupgTestEnv::gpg(m_gpg.mainHome(), {"--rfc2440", "--armor", "--trust-model", "always",
                                                                    "--encrypt", "-r", GnupgTestEnv::kBob},
                                               "unprotected\n");
        QCOMPARE(noMdc.exitCode, 0);
        QTest::newRow("no integrity protection")
            << "decrypt" << QString::fromLatin1(noMdc.out) << alice << QByteArray() << u("復号化と検証に失敗しました。")
            << u("完全性の保護がない暗号文です。");
        QTest::newRow("damaged armour") << "decrypt" << QString::fromLatin1(forCarol.out).left(200) << alice << QByteArray()
                                        << u("復号化と検証に失敗しました。") << u("壊れて");
        QTest::newRow("half-width katakana under JIS")
            << "sign" << u("一行目\n二行目のｶﾀｶﾅ") << alice << QByteArray("\"PGPCharSet\"=\"0\"\n")
            << u("PGP署名に失敗しました。") << u("「ｶ」（0xB6） は JIS（ISO-2022-JP）で表せない文字です（2行、5列）。");
        QTest::newRow("two secret keys, none chosen") << "sign" << u("本文") << QByteArray() << QByteArray()
                                                      << u("PGP署名に失敗しました。") << u("既定の署名鍵");
        QTest::newRow("no secret key at all")
            << "sign" << u("本文") << "gnupg-home=" + QFile::encodeName(m_publicOnly.path()) + "\n" << QByteArray()
            << u("PGP署名に失敗しました。") << u("署名に使える秘密鍵がありません");
        QTest::newRow("no key manager") << "keys" << QString() << alice << QByteArray() << u("PGP鍵の起動に失敗しました。")
                                        << u("探したプログラム: kleopatra、seahorse、gpa");
    }

    void failureReasonsReachTheUser()
    {
        QFETCH(QString, command);
        QFETCH(QString, text);
        QFETCH(QByteArray, preferences);
        QFETCH(QByteArray, settings);
        QFETCH(QString, message);
        QFETCH(QString, reason);
        TestEnv env;
        if (!settings.isEmpty())
            env.writeSettings(settingsText(settings));
        writeGomaPreferences(preferences);
        const QByteArray path = qgetenv("PATH");
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
        if (command == QLatin1String("keys"))
            qputenv("PATH", QFile::encodeName(env.dir()));
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        w->Memo->setText(text);
        env.dialogs.expectMessage(IDOK);
        if (command == QLatin1String("sign"))
            w->mnuPgpSignClick();
        else if (command == QLatin1String("decrypt"))
            w->mnuPgpDecryptClick();
        else
            w->mnuPgpLaunchKeysClick();
        QCOMPARE(env.dialogs.messages.size(), 1);
        const QString shown = env.dialogs.messages[0].text;
        QVERIFY2(shown.startsWith(message + u("\n\n")), qPrintable(shown));
        QVERIFY2(shown.contains(reason), qPrintable(shown));
        QCOMPARE(w->Memo->plainText(), text);
    }

    void wrongPassphraseIsNamed()
    {
        TestEnv env;
        writeGomaPreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n");
        m_gpg.flushAgentCache();
        goma::setTestPassphrase("not-her-passphrase");
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        w->Memo->setText(u("本文"));
        env.dialogs.expectMessage(IDOK);
        w->mnuPgpSignClick();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, u("PGP署名に失敗しました。\n\nパスフレーズが違います。"));
    }

    // A line GnuPG's armour would cut is refused, and nothing of the text changes.
    void overlongLineIsRefusedWhole()
    {
        TestEnv env;
        writeGomaPreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n");
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        const QString text = u("一行目\n") + QString(15000, QChar(0x3042)) + u("\n三行目\n"); // 30,000 bytes in CP932
        w->Memo->setText(text);
        w->Memo->setModified(false);
        env.dialogs.expectMessage(IDOK);
        w->mnuPgpSignClick();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QVERIFY2(env.dialogs.messages[0].text.contains(u("2行目が長すぎるため、クリア署名できません")),
                 qPrintable(env.dialogs.messages[0].text));
        QCOMPARE(w->Memo->plainText(), text);
        QVERIFY(!w->Memo->modified());
    }

    // What the editor shows after signing is what was signed: every line break is CR LF for PGP, and
    // the signed text verifies with gpg and with the program itself.
    void signedLineBreaksVerifyEverywhere_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("lone CR inside a line") << u("一行目\r続き\n二行目\n");
        QTest::newRow("CR-only line breaks") << u("一行目\r二行目\r三行目\r");
        QTest::newRow("mixed line breaks") << u("一\r\n二\r三\n四");
    }

    void signedLineBreaksVerifyEverywhere()
    {
        QFETCH(QString, text);
        TestEnv env;
        writeGomaPreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n");
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        w->Memo->setText(text);
        w->mnuPgpSignClick();
        QVERIFY(env.dialogs.messages.isEmpty());
        const QString signedText = w->Memo->plainText();
        QVERIFY(!signedText.contains(QLatin1Char('\r')));
        const GpgRun run = GnupgTestEnv::gpg(m_gpg.mainHome(), {"--status-fd", "2", "--verify"}, crlfCp932(signedText));
        QVERIFY2(run.exitCode == 0 && run.err.contains("[GNUPG:] GOODSIG"), run.err.constData());
        w->mnuPgpDecryptClick();
        QVERIFY(env.dialogs.messages.isEmpty());
        QString expected = text;
        expected.replace(u("\r\n"), u("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (!expected.endsWith(QLatin1Char('\n')))
            expected += QLatin1Char('\n');
        QCOMPARE(w->Memo->plainText(), expected);
    }

    // Default preferences: a text encrypted to a correspondent alone can still be read by its writer.
    void encryptToCorrespondentStaysReadable()
    {
        TestEnv env;
        writeGomaPreferences(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\n");
        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr);
        const auto back = qScopeGuard([&] { TfrmMain::setPgp(&env.pgp); });
        goma::setWindowsAllowed(true);
        const QString text = u("相手だけに選んだ暗号文\n");
        w->Memo->setText(text);
        bool chosen = false;
        onModal(QStringLiteral("gomaRecipientDialog"), [&](QWidget *dialog) {
            auto *list = dialog->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList"));
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                QTreeWidgetItem *item = list->topLevelItem(i);
                // The user's own keys are marked as such.
                QCOMPARE(item->text(0).endsWith(u("（自分の鍵）")), true);
                if (item->text(1) == QLatin1String("bob@example.org"))
                    item->setSelected(true);
            }
            chosen = true;
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        w->mnuPgpEncryptClick();
        QVERIFY(chosen);
        QVERIFY(env.dialogs.messages.isEmpty());
        const QByteArray message = crlfCp932(w->Memo->plainText());
        QVERIFY(message.startsWith("-----BEGIN PGP MESSAGE-----"));
        // Two recipients: bob, and the writer's own key.
        const GpgRun packets = GnupgTestEnv::gpg(m_gpg.mainHome(), {"--list-packets"}, message);
        QCOMPARE(packets.out.count(":pubkey enc packet:"), 2);
        goma::setWindowsAllowed(false);
        w->mnuPgpDecryptClick();
        QVERIFY(env.dialogs.messages.isEmpty());
        QCOMPARE(w->Memo->plainText(), text);
        QCOMPARE(goma::lastRecipients().size(), 2);
    }

    void signThenVerifyRoundTripsJapaneseText()
    {
        TestEnv env;
        // The library's own preferences choose alice as the signing key (two secret keys are in the home).
        QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zuvelo-pgp"));
        QFile prefs(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zuvelo-pgp/goma.conf"));
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\nencrypt-to-self=0\n");
        prefs.close();

        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr); // the real library
        const QString original = QStringLiteral("署名する日本語の本文です。\n①ｶﾀｶﾅと～を含みます。");
        w->Memo->setText(original);

        w->mnuPgpSignClick();
        QVERIFY(env.dialogs.messages.isEmpty());
        QVERIFY(w->Memo->lineText(0) == QLatin1String("-----BEGIN PGP SIGNED MESSAGE-----"));
        // The library chose the key itself; the status bar names it.
        QCOMPARE(env.app.hint(), QStringLiteral("署名した鍵: Alice Goma <alice@example.org> [05EDB72D6BD93FC7]"));
        QVERIFY(w->Memo->plainText().contains(original));
        w->AppIdle();
        QVERIFY(w->tbDecrypt->isEnabled());

        w->mnuPgpDecryptClick();
        QVERIFY(env.dialogs.messages.isEmpty());
        // A clear signature does not cover the last line break; GnuPG gives the text back ending in one.
        QCOMPARE(w->Memo->plainText(), original + QLatin1Char('\n'));

        // A changed line: the library refuses, the command says so, and the text stays as it was.
        w->mnuPgpSignClick();
        QString signedText = w->Memo->plainText();
        signedText.replace(QStringLiteral("①"), QStringLiteral("②"));
        w->Memo->setText(signedText);
        env.dialogs.expectMessage(IDOK);
        w->mnuPgpDecryptClick();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("復号化と検証に失敗しました。\n\n"
                                                              "署名が文書と一致しません。文書が改変されているか、署名が壊れています。"));
        QCOMPARE(w->Memo->plainText(), signedText);
        TfrmMain::setPgp(&env.pgp);
    }
};

QTEST_MAIN(TestPgpReal)
#include "test_pgpreal.moc"
