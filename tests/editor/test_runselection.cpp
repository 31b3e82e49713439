// Running the selected text through the desktop, and opening the document in the external program.

#include "testenv.h"
#include "trigger.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace zv;
using namespace Qt::StringLiterals;

namespace {
const QString kShellQuestion =
    QStringLiteral("ファイルの内容が変更されています。保存しますか?\n（ここで保存することをお勧めします。）");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestRunSelection : public QObject {
    Q_OBJECT
private slots:
    // text: the whole document, of which [from, to) is selected (to -1: the end). document: the document's file relative to
    // the test folder (empty: untitled). expected: what the desktop is asked to open; relative names in it
    // are taken from the test folder ("@cwd/" from the current folder, "@home/" from the home folder).
    void runOpensTheSelection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("expected");

        const QString mail = QStringLiteral("宛先: \t user@example.jp  \nです");
        QTest::newRow("mail recipient with blanks") << mail << 3 << int(mail.indexOf(u'で')) << QString()
                                                    << "mailto:user@example.jp";
        QTest::newRow("mail link as written") << "MAILTO:user@example.jp" << 0 << -1 << QString()
                                              << "MAILTO:user@example.jp";
        QTest::newRow("recipient with a name") << "山田 <yamada@example.jp>" << 0 << -1 << QString()
                                               << "mailto:山田 <yamada@example.jp>";
        // A selection that starts with a web or file scheme is that link, "@" or not.
        QTest::newRow("@ inside a web link's path") << "https://example.jp/~a@b/" << 0 << 24 << "docs/memo.txt"
                                                    << "https://example.jp/~a@b/";
        QTest::newRow("user part of a web link") << "https://user@example.com/x" << 0 << -1 << QString()
                                                 << "https://user@example.com/x";
        QTest::newRow("@user path") << " HTTP://host/@user\n" << 0 << -1 << QString() << "HTTP://host/@user";
        QTest::newRow("ftp with a user") << "ftp://anon@ftp.example.jp/pub" << 0 << -1 << QString()
                                         << "ftp://anon@ftp.example.jp/pub";
        QTest::newRow("file link with @") << "file:///tmp/a@b.txt" << 0 << -1 << "docs/memo.txt"
                                          << "file:///tmp/a@b.txt";
        // Only those schemes: other text holding "@" stays a recipient.
        QTest::newRow("@ in a link of another scheme") << "news:a@example.jp" << 0 << -1 << QString()
                                                       << "mailto:news:a@example.jp";
        QTest::newRow("scheme later in the text") << "see https://a@b.jp" << 0 << -1 << QString()
                                                  << "mailto:see https://a@b.jp";
        QTest::newRow("web link") << " https://example.jp/ページ?q=1 " << 0 << -1 << "docs/memo.txt"
                                  << "https://example.jp/ページ?q=1";
        QTest::newRow("host name without scheme") << "www.example.jp" << 0 << 14 << QString()
                                                  << "http://www.example.jp";
        QTest::newRow("bare file name from the document's folder") << "see notes.txt!" << 4 << 13
                                                                   << "docs/memo.txt" << "docs/notes.txt";
        QTest::newRow("relative path with blanks") << "../other dir/メモ 1.txt" << 0 << 21 << "docs/memo.txt"
                                                   << "other dir/メモ 1.txt";
        QTest::newRow("absolute path") << "/usr/share/doc" << 0 << 14 << "docs/memo.txt" << "/usr/share/doc";
        QTest::newRow("untitled: the current folder") << "notes.txt" << 0 << 9 << QString() << "@cwd/notes.txt";
        QTest::newRow("home folder") << "~/a b.txt" << 0 << 9 << "docs/memo.txt" << "@home/a b.txt";
        QTest::newRow("file name with a colon that exists") << "note:b.txt" << 0 << -1 << "docs/memo.txt"
                                                            << "docs/note:b.txt";
    }
    void runOpensTheSelection()
    {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, document);
        QFETCH(QString, expected);

        TestEnv env;
        const QString root = env.dir();
        writeFile(root + QStringLiteral("/docs/note:b.txt"), "x");
        auto w = env.makeWindow();
        w->Memo->setText(text);
        w->Memo->setSelStart(from);
        w->Memo->setSelLength((to < 0 ? w->Memo->textLength() : to) - from);
        if (!document.isEmpty())
            w->SaveDialog.fileName = root + u'/' + document;

        QVERIFY(trigger(w.get(), "EditRunAd"));

        QUrl want;
        if (expected.startsWith(u"@cwd/"))
            want = QUrl::fromLocalFile(QDir::current().absoluteFilePath(expected.mid(5)));
        else if (expected.startsWith(u"@home/"))
            want = QUrl::fromLocalFile(QDir::home().absoluteFilePath(expected.mid(6)));
        else if (expected.startsWith(u'/'))
            want = QUrl::fromLocalFile(expected);
        else if (expected.contains(u':') && !expected.startsWith(u"docs/"))
            want = QUrl(expected);
        else
            want = QUrl::fromLocalFile(root + u'/' + expected);
        QCOMPARE(env.dialogs.openedUrls, QList<QUrl>{want});
        QVERIFY(env.dialogs.started.isEmpty());
        QVERIFY(env.dialogs.messages.isEmpty());
    }

    void runReportsNothingWhenTheDesktopFails()
    {
        TestEnv env;
        auto w = env.makeWindow();
        env.dialogs.openUrlResult = false;
        w->Memo->setText(QStringLiteral("nowhere:at-all"));
        QVERIFY(trigger(w.get(), "EditSelectAll"));
        QVERIFY(trigger(w.get(), "EditRunAd"));
        QCOMPARE(env.dialogs.openedUrls.size(), 1);
        QVERIFY(env.dialogs.messages.isEmpty()); // a message would have failed the scripted dialogs
    }

    void externalProgramGetsTheFileIntact()
    {
        TestEnv env;
        const QString program = env.dir() + QStringLiteral("/my tools/edit \"it\" now");
        const QString file = env.dir() + QStringLiteral("/docs with blanks/a \"quoted\" name's.txt");
        writeFile(file, "saved");
        auto w = env.makeWindow();
        w->FShellProg = program;
        w->SaveDialog.fileName = file;
        w->Memo->setModified(false);
        QVERIFY(trigger(w.get(), "ViewShellProg"));
        QVERIFY(env.dialogs.messages.isEmpty());
        QCOMPARE(env.dialogs.started.size(), 1);
        QCOMPARE(env.dialogs.started[0].first, program);
        QCOMPARE(env.dialogs.started[0].second, QStringList{file});
    }

    void externalProgramStopsSilently_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("named");
        QTest::newRow("untitled") << QStringLiteral("/usr/bin/true") << false;
        QTest::newRow("no program") << QString() << true;
    }
    void externalProgramStopsSilently()
    {
        QFETCH(QString, program);
        QFETCH(bool, named);
        TestEnv env;
        auto w = env.makeWindow();
        w->FShellProg = program;
        if (named)
            w->SaveDialog.fileName = env.dir() + QStringLiteral("/a.txt");
        QVERIFY(trigger(w.get(), "ViewShellProg"));
        QVERIFY(env.dialogs.messages.isEmpty());
        QVERIFY(env.dialogs.started.isEmpty());
    }

    void savingFirstWhenModified_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveDialogConfirmed"); // only for an untitled document answered Yes
        QTest::addColumn<bool>("started");
        QTest::addColumn<QByteArray>("onDisk"); // the named file's content afterwards

        QTest::newRow("named, Yes: saved, then started") << true << int(IDYES) << false << true << QByteArray("new text");
        QTest::newRow("named, No: the file as last saved") << true << int(IDNO) << false << true << QByteArray("old");
        QTest::newRow("untitled, Yes, Save As confirmed") << false << int(IDYES) << true << true
                                                          << QByteArray("new text");
        QTest::newRow("untitled, Yes, Save As cancelled") << false << int(IDYES) << false << false << QByteArray();
        QTest::newRow("untitled, No") << false << int(IDNO) << false << false << QByteArray();
    }
    void savingFirstWhenModified()
    {
        QFETCH(bool, named);
        QFETCH(int, answer);
        QFETCH(bool, saveDialogConfirmed);
        QFETCH(bool, started);
        QFETCH(QByteArray, onDisk);

        TestEnv env;
        const QString file = env.dir() + QStringLiteral("/memo.txt");
        auto w = env.makeWindow();
        w->FShellProg = QStringLiteral("/usr/bin/editor");
        if (named) {
            writeFile(file, "old");
            w->SaveDialog.fileName = file;
        }
        w->Memo->setText(QStringLiteral("new text"));
        w->Memo->setModified(true);

        env.dialogs.expectMessage(answer);
        if (!named && answer == IDYES)
            env.dialogs.expectSave(saveDialogConfirmed ? std::optional<QString>(file) : std::nullopt);
        QVERIFY(trigger(w.get(), "ViewShellProg"));

        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, kShellQuestion);
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, 0x34u);
        if (started)
            QCOMPARE(env.dialogs.started,
                     (QList<QPair<QString, QStringList>>{{QStringLiteral("/usr/bin/editor"), QStringList{file}}}));
        else
            QVERIFY(env.dialogs.started.isEmpty());
        if (!onDisk.isEmpty())
            QCOMPARE(readFile(file), onDisk);
    }

    void failedSaveStartsNothing()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->FShellProg = QStringLiteral("/usr/bin/editor");
        w->SaveDialog.fileName = env.dir() + QStringLiteral("/no such folder/memo.txt");
        w->Memo->setText(QStringLiteral("changed"));
        w->Memo->setModified(true);
        env.dialogs.expectMessage(IDYES);
        env.dialogs.expectMessage(IDOK); // the write error's report
        w->tbShell->trigger();
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 2);
        QCOMPARE(env.dialogs.messages[1].flags, unsigned(MB_ICONERROR));
        QVERIFY(env.dialogs.started.isEmpty());
        QVERIFY(w->Memo->modified());
    }

    void f8ReachesTheCommandWithoutAProgram()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QVERIFY(w->FShellProg.isEmpty());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->SaveDialog.fileName = env.dir() + QStringLiteral("/memo.txt");
        w->Memo->setText(QStringLiteral("changed"));
        w->Memo->setModified(true);
        env.dialogs.expectMessage(IDNO);
        QTest::keyClick(w->Memo, Qt::Key_F8);
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QVERIFY(!w->ViewShellProg->isVisible()); // the View menu's opening handler ran first
        QVERIFY(env.dialogs.started.isEmpty());
    }
};

QTEST_MAIN(TestRunSelection)
#include "test_runselection.moc"
