// The document's state and the window title: the title rule, the starting folder of the file dialogs and
// the rule that an empty untitled document is never modified.

#include "docfixture.h"
#include "testenv.h"
#include "trigger.h"

#include <QStandardPaths>

using namespace zv;
using namespace docfixture;

class TestDocumentState : public QObject {
    Q_OBJECT
private slots:
    void titleShowsTheLastPathComponent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        // In the document's encoding the second byte of 表 is a backslash; on this system names are
        // UTF-8 and only "/" separates folders.
        QTest::newRow("kanji") << QStringLiteral("表.txt") << QStringLiteral("表.txt - Zuvelo PGP");
        QTest::newRow("colon is no delimiter") << QStringLiteral("a:memo.txt") << QStringLiteral("a:memo.txt - Zuvelo PGP");
        QTest::newRow("backslash is no delimiter") << QStringLiteral("ソ\\表.txt") << QStringLiteral("ソ\\表.txt - Zuvelo PGP");
        QTest::newRow("blank, no extension") << QStringLiteral("メモ 2") << QStringLiteral("メモ 2 - Zuvelo PGP");
    }
    void titleShowsTheLastPathComponent()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/sub dir/") + name;
        QVERIFY(writeFile(path, "text"));
        auto w = env.makeWindow();
        env.dialogs.expectOpen(path);
        w->FileOpen->trigger();
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(env.app.title(), title); // the task-bar text follows
        QCOMPARE(w->SaveDialog.fileName, path);
        QCOMPARE(w->Memo->tag(), 0);

        // Save keeps the title; New gives the untitled one.
        type(*w, QStringLiteral("x"));
        QVERIFY(trigger(w.get(), "FileSave"));
        QCOMPARE(w->windowTitle(), title);
        w->FileNew->trigger();
        QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
        QCOMPARE(env.app.title(), QStringLiteral("無題 - Zuvelo PGP"));
        QVERIFY(w->SaveDialog.fileName.isEmpty());
    }

    void untitledDialogsStartOnTheDesktop_data()
    {
        QTest::addColumn<QString>("desktopDirLine"); // user-dirs.dirs entry, empty: none
        QTest::addColumn<QString>("create");         // folder to create under HOME, empty: none
        QTest::addColumn<QString>("expected");       // under HOME
        QTest::newRow("no desktop folder: home") << QString() << QString() << QString();
        QTest::newRow("Desktop") << QString() << QStringLiteral("/Desktop") << QStringLiteral("/Desktop");
        QTest::newRow("Japanese desktop from user-dirs")
            << QStringLiteral("XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n") << QStringLiteral("/デスクトップ")
            << QStringLiteral("/デスクトップ");
        QTest::newRow("user-dirs names a missing folder: home")
            << QStringLiteral("XDG_DESKTOP_DIR=\"$HOME/机\"\n") << QString() << QString();
    }
    void untitledDialogsStartOnTheDesktop()
    {
        QFETCH(QString, desktopDirLine);
        QFETCH(QString, create);
        QFETCH(QString, expected);
        TestEnv env;
        const QString home = env.dir() + QStringLiteral("/home");
        if (!desktopDirLine.isEmpty())
            QVERIFY(writeFile(env.dir() + QStringLiteral("/config/user-dirs.dirs"), desktopDirLine.toUtf8()));
        if (!create.isEmpty())
            QVERIFY(QDir().mkpath(home + create));
        auto w = env.makeWindow();
        QCOMPARE(TfrmMain::DesktopFolder(), home + expected);

        env.dialogs.expectOpen(std::nullopt);
        w->FileOpen->trigger();
        type(*w, QStringLiteral("a"));
        env.dialogs.expectSave(std::nullopt);
        w->FileSaveAs->trigger();
        QCOMPARE(env.dialogs.fileDialogs.size(), 2);
        QCOMPARE(env.dialogs.fileDialogs[0].initialDir, home + expected);
        QCOMPARE(env.dialogs.fileDialogs[1].initialDir, home + expected);
        QVERIFY(env.dialogs.fileDialogs[1].fileName.isEmpty());
    }

    void namedDialogsStartInTheFilesFolder()
    {
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/書類/メモ.txt");
        QVERIFY(writeFile(path, "x"));
        auto w = env.makeWindow();
        env.dialogs.expectOpen(path);
        w->FileOpen->trigger();
        env.dialogs.expectOpen(std::nullopt);
        w->FileOpen->trigger();
        env.dialogs.expectSave(std::nullopt);
        w->FileSaveAs->trigger();
        QCOMPARE(env.dialogs.fileDialogs[1].initialDir, env.dir() + QStringLiteral("/書類"));
        QVERIFY(env.dialogs.fileDialogs[1].fileName.isEmpty()); // the open dialog starts without a name
        QCOMPARE(env.dialogs.fileDialogs[2].initialDir, env.dir() + QStringLiteral("/書類"));
        QCOMPARE(env.dialogs.fileDialogs[2].fileName, path); // Save As is pre-filled with the full name
    }

    // Which edits leave something to save, seen through the prompt of New.
    void emptyUntitledIsNeverModified_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("backspaces");
        QTest::addColumn<bool>("prompt");
        QTest::newRow("untitled, typed and deleted") << false << QStringLiteral("ab") << 2 << false;
        QTest::newRow("untitled, typed") << false << QStringLiteral("ab") << 1 << true;
        QTest::newRow("untitled, only a line break") << false << QStringLiteral("\n") << 0 << true;
        QTest::newRow("named, emptied") << true << QString() << 4 << true;
    }
    void emptyUntitledIsNeverModified()
    {
        QFETCH(bool, named);
        QFETCH(QString, typed);
        QFETCH(int, backspaces);
        QFETCH(bool, prompt);
        TestEnv env;
        auto w = env.makeWindow();
        if (named) {
            const QString path = env.dir() + QStringLiteral("/a.txt");
            QVERIFY(writeFile(path, "abcd"));
            env.dialogs.expectOpen(path);
            w->FileOpen->trigger();
        }
        type(*w, typed);
        w->Memo->moveCursor(QTextCursor::End);
        for (int i = 0; i < backspaces; ++i)
            QTest::keyClick(w->Memo, Qt::Key_Backspace);
        QCOMPARE(w->Panels[2]->text(), prompt ? QStringLiteral("変更あり") : QString());
        if (prompt)
            env.dialogs.expectMessage(IDNO);
        w->FileNew->trigger();
        QCOMPARE(env.dialogs.messages.size(), prompt ? 1 : 0);
        QVERIFY(env.dialogs.allUsed());
    }

    // New on an emptied named document (answer No) leaves an empty untitled document still marked
    // modified: Open applies the empty-untitled rule first and asks nothing, a drop does not and asks.
    void dropAsksWhereOpenDoesNot()
    {
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/a.txt");
        QVERIFY(writeFile(path, "abc"));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(path));
        w->Memo->selectAll();
        QTest::keyClick(w->Memo, Qt::Key_Delete);
        env.dialogs.expectMessage(IDNO);
        w->FileNew->trigger();
        QVERIFY(w->Memo->modified()); // New clears nothing in an editor that was already empty

        env.dialogs.expectMessage(IDCANCEL);
        w->WMDropFiles({path});
        QCOMPARE(env.dialogs.messages.size(), 2);
        QCOMPARE(env.dialogs.messages[1].flags, 0x40033u);
        QVERIFY(w->Memo->isEmpty());

        env.dialogs.expectOpen(std::nullopt);
        w->FileOpen->trigger();
        QCOMPARE(env.dialogs.messages.size(), 2);
        QVERIFY(!w->Memo->modified());
    }
};

QTEST_MAIN(TestDocumentState)
#include "test_documentstate.moc"
