// The PGP commands against a recording library: what is handed over, what comes back into the editor,
// the failure messages, the PGP menu's states and the F9 to F12 shortcuts.

#include "testenv.h"

#include <QAction>
#include <QMenu>
#include <QTest>

using namespace zv;
using Fn = RecordingPgp::Fn;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// One text command: its tool button and menu item, the library function it calls, the flags it passes and
// its failure message.
struct Command {
    const char *tool;
    const char *item;
    Fn fn;
    int encrypt;
    int sign;
    const char *failure;
};
const Command kCommands[] = {
    {"tbEncrypt", "mnuPgpEncrypt", Fn::Encrypt, 1, 0, "PGP暗号化に失敗しました。"},
    {"tbSign", "mnuPgpSign", Fn::Encrypt, 0, 1, "PGP署名に失敗しました。"},
    {"tbEncryptSign", "mnuPgpEncryptSign", Fn::Encrypt, 1, 1, "PGP暗号化と署名に失敗しました。"},
    {"tbDecrypt", "mnuPgpDecrypt", Fn::Decrypt, -1, -1, "復号化と検証に失敗しました。"},
};
enum { Encrypt, Sign, EncryptSign, Decrypt };

const QString kArmour = QStringLiteral("-----BEGIN PGP MESSAGE-----");

// An armoured message with Japanese text, as the editor holds it and as the library must receive it.
const QString kMessage = QStringLiteral("-----BEGIN PGP MESSAGE-----\n日本語ｱ\nTo: bob@example.org\n\\~\n");
const QByteArray kMessageBytes = "-----BEGIN PGP MESSAGE-----\r\n\x93\xfa\x96\x7b\x8c\xea\xb1\r\n"
                                 "To: bob@example.org\r\n\\~\r\n";

QAction *action(TfrmMain *w, const char *name) { return w->findChild<QAction *>(QString::fromLatin1(name)); }

// A window holding the text, unmodified, with the command states of the next idle pass.
std::unique_ptr<TfrmMain> windowWith(TestEnv &env, const QString &text)
{
    auto w = env.makeWindow();
    w->Memo->setText(text);
    w->Memo->setModified(false);
    w->AppIdle();
    env.pgp.clear();
    return w;
}

// Runs a text command through its tool button (which must be enabled, as in the real window).
bool runCommand(TfrmMain *w, int command)
{
    QAction *tool = action(w, kCommands[command].tool);
    if (!tool || !tool->isEnabled())
        return false;
    tool->trigger();
    return true;
}

} // namespace

class TestPgpCommands : public QObject {
    Q_OBJECT
private slots:
    // Flags, charset (read anew from the store for every command), no recipients, the whole text as CP932
    // with CR LF, the main window as owner.
    void commandsHandTheLibraryWhatItNeeds_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("charset");
        QTest::newRow("encrypt, Shift-JIS") << int(Encrypt) << QByteArray("\"PGPCharSet\"=\"1\"\n") << 2;
        QTest::newRow("encrypt, JIS") << int(Encrypt) << QByteArray("\"PGPCharSet\"=\"0\"\n") << 1;
        QTest::newRow("sign, JIS") << int(Sign) << QByteArray("\"PGPCharSet\"=\"0\"\n") << 1;
        QTest::newRow("sign, Shift-JIS") << int(Sign) << QByteArray("\"PGPCharSet\"=\"1\"\n") << 2;
        QTest::newRow("encrypt and sign, JIS") << int(EncryptSign) << QByteArray("\"PGPCharSet\"=\"0\"\n") << 1;
        QTest::newRow("decrypt, setting JIS") << int(Decrypt) << QByteArray("\"PGPCharSet\"=\"0\"\n") << 2;
        QTest::newRow("decrypt, setting Shift-JIS") << int(Decrypt) << QByteArray("\"PGPCharSet\"=\"1\"\n") << 2;
    }
    void commandsHandTheLibraryWhatItNeeds()
    {
        QFETCH(int, command);
        QFETCH(QByteArray, setting);
        QFETCH(int, charset);
        const Command &c = kCommands[command];
        TestEnv env;
        auto w = windowWith(env, kMessage);

        // First with the setting missing from the store, then with it written while the window is open.
        env.dialogs.expectMessage(IDOK);
        QVERIFY(runCommand(w.get(), command));
        env.writeSettings(settingsText(setting));
        env.dialogs.expectMessage(IDOK);
        QVERIFY(runCommand(w.get(), command));
        QVERIFY(env.dialogs.allUsed());

        QCOMPARE(env.pgp.calls.size(), 2);
        const auto calls = env.pgp.callsOf(c.fn);
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].charset, 2);
        QCOMPARE(calls[1].charset, charset);
        for (const RecordingPgp::Call &call : calls) {
            QCOMPARE(call.ownerAddress, static_cast<QWidget *>(w.get()));
            QCOMPARE(call.text, kMessageBytes);
            if (c.fn == Fn::Encrypt) {
                QCOMPARE(call.encrypt, c.encrypt);
                QCOMPARE(call.sign, c.sign);
                QCOMPARE(call.recipientCount, 0);
            }
        }
    }

    // The whole text goes to the library and the whole text is replaced, whatever is selected.
    void selectionDoesNotNarrowTheCommand_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("encrypt") << int(Encrypt);
        QTest::newRow("sign") << int(Sign);
        QTest::newRow("encrypt and sign") << int(EncryptSign);
        QTest::newRow("decrypt") << int(Decrypt);
    }
    void selectionDoesNotNarrowTheCommand()
    {
        QFETCH(int, command);
        TestEnv env;
        const QString signedText = u("-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\n日本語\n"
                                     "-----BEGIN PGP SIGNATURE-----\n\niQEzBAEBCAAdFiEE\n=abcd\n"
                                     "-----END PGP SIGNATURE-----\n");
        auto w = windowWith(env, signedText);
        const int body = int(signedText.indexOf(u("日本語")));
        w->Memo->setSelStart(body);
        w->Memo->setSelLength(3);
        QCOMPARE(w->Memo->selText(), u("日本語"));

        env.pgp.textResult = 1;
        env.pgp.resultText = "result line 1\r\nresult line 2\r\n";
        QVERIFY(runCommand(w.get(), command));
        QCOMPARE(env.pgp.textCalls(), 1);
        const QByteArray expected =
            "-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n\r\n\x93\xfa\x96\x7b\x8c\xea\r\n"
            "-----BEGIN PGP SIGNATURE-----\r\n\r\niQEzBAEBCAAdFiEE\r\n=abcd\r\n-----END PGP SIGNATURE-----\r\n";
        QCOMPARE(env.pgp.calls[0].text, expected);
        QCOMPARE(w->Memo->plainText(), QStringLiteral("result line 1\nresult line 2\n"));
        QVERIFY(env.dialogs.messages.isEmpty());
    }

    // A refusal and a success without text both count as failure: the command's message, nothing changed.
    void failuresLeaveTheDocumentAlone_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("result");
        for (int command : {int(Encrypt), int(Sign), int(EncryptSign), int(Decrypt)}) {
            const QByteArray name = kCommands[command].item;
            QTest::newRow((name + ", refused").constData()) << command << 0;
            QTest::newRow((name + ", empty text").constData()) << command << 1;
        }
    }
    void failuresLeaveTheDocumentAlone()
    {
        QFETCH(int, command);
        QFETCH(int, result);
        TestEnv env;
        auto w = windowWith(env, kMessage);
        w->Memo->setSelStart(5);
        w->Memo->setSelLength(4);
        w->Memo->setModified(false);
        env.pgp.textResult = result;
        // A refusal's text is never looked at; a success hands back nothing.
        env.pgp.resultText = result ? QByteArray() : QByteArray("ignored");

        env.dialogs.expectMessage(IDOK);
        QVERIFY(runCommand(w.get(), command));
        QCOMPARE(env.pgp.textCalls(), 1);
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, u(kCommands[command].failure));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, 0x30u);
        QCOMPARE(w->Memo->plainText(), kMessage);
        QVERIFY(!w->Memo->modified());
        QCOMPARE(w->Memo->selStart(), 5);
        QCOMPARE(w->Memo->selLength(), 4);
    }

    // The library's text replaces the document: any line-break style becomes the editor's lines, the
    // document counts as modified, and one undo brings back the text from before the command.
    void successReplacesTheWholeText_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decryptable");
        QTest::newRow("encrypted, CR LF") << int(Encrypt)
                                          << QByteArray("-----BEGIN PGP MESSAGE-----\r\n\r\nhQEMA+x\r\n=Ab12\r\n"
                                                        "-----END PGP MESSAGE-----\r\n")
                                          << u("-----BEGIN PGP MESSAGE-----\n\nhQEMA+x\n=Ab12\n-----END PGP MESSAGE-----\n")
                                          << true;
        QTest::newRow("signed") << int(Sign)
                                << QByteArray("-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n\r\n\x93\xfa\r\n")
                                << u("-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\n日\n") << true;
        QTest::newRow("decrypted, LF") << int(Decrypt) << QByteArray("\x93\xfa\x96\x7b\x8c\xea\nline 2\n")
                                       << u("日本語\nline 2\n") << false;
        QTest::newRow("decrypted, mixed breaks") << int(Decrypt) << QByteArray("a\r\nb\nc\rd\xb1")
                                                 << u("a\nb\nc\ndｱ") << false;
    }
    void successReplacesTheWholeText()
    {
        QFETCH(int, command);
        QFETCH(QByteArray, result);
        QFETCH(QString, text);
        QFETCH(bool, decryptable);
        TestEnv env;
        auto w = windowWith(env, kMessage);
        w->Memo->setSelStart(0);
        w->Memo->replaceSelection(u("追記")); // an earlier edit of its own
        const QString before = w->Memo->plainText();
        w->Memo->setModified(false);

        env.pgp.textResult = 1;
        env.pgp.resultText = result;
        QVERIFY(runCommand(w.get(), command));
        QVERIFY(env.dialogs.messages.isEmpty());
        QCOMPARE(w->Memo->plainText(), text);
        QVERIFY(w->Memo->modified());
        w->AppIdle();
        QCOMPARE(w->tbDecrypt->isEnabled(), decryptable);
        QVERIFY(w->FileSave->isEnabled());

        w->Memo->undoEdit();
        QCOMPARE(w->Memo->plainText(), before);
        w->Memo->undoEdit();
        QCOMPARE(w->Memo->plainText(), kMessage);
    }

    // A character the library cannot be given stops the command before the library is called, and the user
    // is told which one and where it is.
    void unsendableCharactersAreNamed_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("character");
        QTest::addColumn<QStringList>("named");
        QTest::newRow("hangul") << int(Encrypt) << u("한") << QStringList{u("「한」"), u("U+D55C")};
        QTest::newRow("outside the BMP") << int(Decrypt) << u("𠮷") << QStringList{u("「𠮷」"), u("U+20BB7")};
        QTest::newRow("NUL") << int(Sign) << QString(QChar(0)) << QStringList{u("NUL")};
        QTest::newRow("raw byte 00") << int(EncryptSign) << QString(QChar(0xF700)) << QStringList{u("NUL")};
    }
    void unsendableCharactersAreNamed()
    {
        QFETCH(int, command);
        QFETCH(QString, character);
        QFETCH(QStringList, named);
        TestEnv env;
        const QString text = kArmour + u("\nde") + character + u("f\n");
        auto w = windowWith(env, text);
        QCOMPARE(w->Memo->plainText(), text);

        env.dialogs.expectMessage(IDOK);
        QVERIFY(runCommand(w.get(), command));
        QCOMPARE(env.pgp.textCalls(), 0);
        // One box: the command's own message first, then the reason.
        QCOMPARE(env.dialogs.messages.size(), 1);
        QVERIFY(env.dialogs.messages[0].text.startsWith(u(kCommands[command].failure) + u("\n\n")));
        for (const QString &n : named)
            QVERIFY2(env.dialogs.messages[0].text.contains(n), qPrintable(env.dialogs.messages[0].text));
        QVERIFY(env.dialogs.messages[0].text.contains(u("2行、3列")));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(w->Memo->plainText(), text);
        QVERIFY(!w->Memo->modified());
    }

    // The menu's items follow the tool buttons when the menu opens, and only then.
    void menuFollowsTheToolButtons()
    {
        TestEnv env;
        auto w = windowWith(env, QString());
        QMenu *menu = w->mnuPgp;
        menu->popup(QPoint(0, 0));
        QVERIFY(menu->isVisible());
        for (QAction *a : {w->mnuPgpEncrypt, w->mnuPgpSign, w->mnuPgpEncryptSign, w->mnuPgpDecrypt})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        for (QAction *a : {w->mnuPgpLaunchTools, w->mnuPgpLaunchKeys, w->mnuPgpPreferences})
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        menu->hide();

        w->Memo->setText(u("平文"));
        w->AppIdle();
        QVERIFY(w->tbEncrypt->isEnabled());
        QVERIFY(!w->mnuPgpEncrypt->isEnabled()); // not before the menu opens again
        menu->popup(QPoint(0, 0));
        QVERIFY(w->mnuPgpEncrypt->isEnabled() && w->mnuPgpSign->isEnabled() && w->mnuPgpEncryptSign->isEnabled());
        QVERIFY(!w->mnuPgpDecrypt->isEnabled());
        menu->hide();

        w->Memo->setText(kArmour + u("\n本文\n"));
        w->AppIdle();
        menu->popup(QPoint(0, 0));
        QVERIFY(w->mnuPgpDecrypt->isEnabled());
        menu->hide();
        QCOMPARE(env.pgp.calls.size(), 0);
    }

    // F9 to F12 as typed in the editor: the menu's states are brought up to date first, and a disabled
    // command does nothing and shows nothing.
    void shortcutsRespectTheCommandStates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("command"); // -1: nothing happens
        const QString armour = kArmour + u("\nhQEMA\n");
        const QString signedText = u("-----BEGIN PGP SIGNED MESSAGE-----\n\n本文\n");
        QTest::newRow("empty, F9") << QString() << int(Qt::Key_F9) << -1;
        QTest::newRow("empty, F10") << QString() << int(Qt::Key_F10) << -1;
        QTest::newRow("empty, F11") << QString() << int(Qt::Key_F11) << -1;
        QTest::newRow("empty, F12") << QString() << int(Qt::Key_F12) << -1;
        QTest::newRow("plain text, F12") << u("平文") << int(Qt::Key_F12) << -1;
        QTest::newRow("plain text, F10") << u("平文") << int(Qt::Key_F10) << int(Sign);
        QTest::newRow("armour, F12") << armour << int(Qt::Key_F12) << int(Decrypt);
        QTest::newRow("armour, F9") << armour << int(Qt::Key_F9) << int(Encrypt);
        QTest::newRow("armour, F11") << armour << int(Qt::Key_F11) << int(EncryptSign);
        QTest::newRow("signed, F12") << signedText << int(Qt::Key_F12) << int(Decrypt);
    }
    void shortcutsRespectTheCommandStates()
    {
        QFETCH(QString, text);
        QFETCH(int, key);
        QFETCH(int, command);
        TestEnv env;
        auto w = env.makeWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // The menu was last opened on an empty editor: all four text items are disabled.
        w->mnuPgpClick();
        w->Memo->setText(text);
        w->AppIdle();
        env.pgp.clear();

        if (command >= 0)
            env.dialogs.expectMessage(IDOK); // the recording library refuses
        QTest::keyClick(w->Memo, Qt::Key(key));
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(w->Memo->plainText(), text); // the key never reached the text
        if (command < 0) {
            QCOMPARE(env.pgp.calls.size(), 0);
            QVERIFY(env.dialogs.messages.isEmpty());
            return;
        }
        const Command &c = kCommands[command];
        QCOMPARE(env.pgp.calls.size(), 1);
        QVERIFY(env.pgp.calls[0].fn == c.fn);
        if (c.fn == Fn::Encrypt) {
            QCOMPARE(env.pgp.calls[0].encrypt, c.encrypt);
            QCOMPARE(env.pgp.calls[0].sign, c.sign);
        }
        QCOMPARE(env.dialogs.messages[0].text, u(c.failure));
    }

    void dispatchedDecryptRunsOnArmouredText()
    {
        TestEnv env;
        auto w = windowWith(env, kArmour + u("\nhQEMA\n"));
        env.pgp.textResult = 1;
        env.pgp.resultText = "\x95\xbd\x95\xb6"; // 平文
        w->DispatchShortcut(w->mnuPgpDecrypt);
        QCOMPARE(env.pgp.count(Fn::Decrypt), 1);
        QCOMPARE(w->Memo->plainText(), u("平文"));
        // The decrypted text has no armour: after the next idle pass the shortcut does nothing.
        w->AppIdle();
        w->DispatchShortcut(w->mnuPgpDecrypt);
        QCOMPARE(env.pgp.count(Fn::Decrypt), 1);
    }

    // The three library windows: always enabled, owned by the main window; only the key manager's
    // failure is told.
    void libraryWindows_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("fn");
        QTest::addColumn<QString>("message");
        QTest::newRow("keys fail") << u("mnuPgpLaunchKeys") << 0 << int(Fn::LaunchKeys) << u("PGP鍵の起動に失敗しました。");
        QTest::newRow("keys start") << u("mnuPgpLaunchKeys") << 1 << int(Fn::LaunchKeys) << QString();
        QTest::newRow("tools fail") << u("mnuPgpLaunchTools") << 0 << int(Fn::LaunchTools) << QString();
        QTest::newRow("preferences fail") << u("mnuPgpPreferences") << 0 << int(Fn::Preferences) << QString();
    }
    void libraryWindows()
    {
        QFETCH(QString, item);
        QFETCH(int, result);
        QFETCH(int, fn);
        QFETCH(QString, message);
        TestEnv env;
        auto w = windowWith(env, QString());
        env.pgp.launchKeysResult = env.pgp.launchToolsResult = env.pgp.preferencesResult = result;
        if (!message.isEmpty())
            env.dialogs.expectMessage(IDOK);
        QAction *a = w->findChild<QAction *>(item);
        QVERIFY(a);
        w->mnuPgpClick();
        QVERIFY(a->isEnabled());
        a->trigger();
        QCOMPARE(env.pgp.calls.size(), 1);
        QVERIFY(env.pgp.calls[0].fn == Fn(fn));
        QCOMPARE(env.pgp.calls[0].ownerAddress, static_cast<QWidget *>(w.get()));
        if (message.isEmpty()) {
            QVERIFY(env.dialogs.messages.isEmpty());
        } else {
            QCOMPARE(env.dialogs.messages.size(), 1);
            QCOMPARE(env.dialogs.messages[0].text, message);
            QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
            QCOMPARE(env.dialogs.messages[0].flags, 0x30u);
        }
    }

    // The library is set up once when the window is created and released when it closes.
    void libraryLifetimeFollowsTheWindow()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QCOMPARE(env.pgp.count(Fn::Init), 1);
        QCOMPARE(env.pgp.count(Fn::Release), 0);
        QVERIFY(w->close());
        QCOMPARE(env.pgp.count(Fn::Release), 1);
        QCOMPARE(env.pgp.calls.size(), 2);
    }
};

QTEST_MAIN(TestPgpCommands)
#include "test_pgpcommands.moc"
