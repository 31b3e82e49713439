// The four most recent files at the end of the File menu: how each command changes the list, how the
// menu tidies it, and what is stored when the window closes.

#include "docfixture.h"
#include "platform/settingsstore.h"
#include "testenv.h"

#include <QMenu>

using namespace zv;
using namespace docfixture;

namespace {

enum class Action { Open, Recent, RecentCancelled, RecentSaveFails, SaveAs, Save, Drop, New };

// Short names in the tables stand for files in the test folder: "a" is <dir>/a.txt. Names starting with
// "-" stand for files that do not exist, "dir" for a folder; an empty name stays empty.
QString expand(const TestEnv &env, const QString &shortName)
{
    if (shortName.isEmpty())
        return {};
    if (shortName == QLatin1String("dir"))
        return env.dir() + QStringLiteral("/dir");
    return env.dir() + QLatin1Char('/') + (shortName.startsWith(QLatin1Char('-')) ? shortName.mid(1) : shortName)
        + QStringLiteral(".txt");
}

QStringList expand(const TestEnv &env, const QStringList &shortNames)
{
    QStringList out;
    for (const QString &n : shortNames)
        out << expand(env, n);
    return out;
}

void createFiles(const TestEnv &env)
{
    for (const char *n : {"a", "b", "c", "d", "e", "f"})
        QVERIFY(writeFile(expand(env, QString::fromLatin1(n)), n));
    QVERIFY(QDir(env.dir()).mkdir(QStringLiteral("dir")));
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestRecentFiles : public QObject {
    Q_OBJECT
private slots:
    void commandsChangeTheList_data()
    {
        QTest::addColumn<QStringList>("initial");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QStringList>("arguments"); // names (or an entry number) for the action, in turn
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("notFound");
        const QStringList abcd{"a", "b", "c", "d"};
        QTest::newRow("five opens leave the last four")
            << QStringList{} << Action::Open << QStringList{"a", "b", "c", "d", "e"} << QStringList{"e", "d", "c", "b"} << false;
        QTest::newRow("open entry 4 through the dialog") << abcd << Action::Open << QStringList{"d"} << QStringList{"d", "a", "b", "c"} << false;
        QTest::newRow("open entry 1 through the dialog") << abcd << Action::Open << QStringList{"a"} << abcd << false;
        QTest::newRow("open compares from the bottom")
            << QStringList{"a", "b", "c", "b"} << Action::Open << QStringList{"b"} << QStringList{"b", "a", "b", "c"} << false;
        QTest::newRow("entry 3 from its item") << abcd << Action::Recent << QStringList{"3"} << QStringList{"c", "a", "b", "d"} << false;
        QTest::newRow("entry 1 from its item") << abcd << Action::Recent << QStringList{"1"} << abcd << false;
        QTest::newRow("entry 2, prompt cancelled") << abcd << Action::RecentCancelled << QStringList{"2"}
                                                   << QStringList{"b", "a", "c", "d"} << false;
        QTest::newRow("entry 3, Yes and the save fails: no move") << abcd << Action::RecentSaveFails << QStringList{"3"}
                                                                   << abcd << false;
        QTest::newRow("entry 4 gone: not found, still moves")
            << QStringList{"a", "b", "c", "-x"} << Action::Recent << QStringList{"4"} << QStringList{"-x", "a", "b", "c"} << true;
        QTest::newRow("entry 2 is a folder: not found, still moves")
            << QStringList{"a", "dir", "c"} << Action::Recent << QStringList{"2"} << QStringList{"dir", "a", "c", ""} << true;
        QTest::newRow("Save As to a new name") << abcd << Action::SaveAs << QStringList{"e"} << QStringList{"e", "a", "b", "c"} << false;
        QTest::newRow("Save As to entry 1") << abcd << Action::SaveAs << QStringList{"a"} << abcd << false;
        QTest::newRow("Save As to entry 2") << abcd << Action::SaveAs << QStringList{"b"} << QStringList{"b", "a", "c", "d"} << false;
        QTest::newRow("Save As to entry 4") << abcd << Action::SaveAs << QStringList{"d"} << QStringList{"d", "a", "b", "c"} << false;
        QTest::newRow("Save As compares from the top")
            << QStringList{"a", "b", "c", "b"} << Action::SaveAs << QStringList{"b"} << QStringList{"b", "a", "c", "b"} << false;
        QTest::newRow("Save changes nothing") << abcd << Action::Save << QStringList{"c"} << abcd << false;
        QTest::newRow("New changes nothing") << abcd << Action::New << QStringList{} << abcd << false;
        QTest::newRow("drop of entry 3") << abcd << Action::Drop << QStringList{"c"} << QStringList{"c", "a", "b", "d"} << false;
        QTest::newRow("drop of a new file") << abcd << Action::Drop << QStringList{"f"} << QStringList{"f", "a", "b", "c"} << false;
    }
    void commandsChangeTheList()
    {
        QFETCH(QStringList, initial);
        QFETCH(Action, action);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        QFETCH(bool, notFound);
        TestEnv env;
        createFiles(env);
        auto w = env.makeWindow();
        setRecentList(*w, expand(env, initial));

        for (const QString &arg : arguments) {
            const QString name = expand(env, arg);
            switch (action) {
            case Action::Open:
                env.dialogs.expectOpen(name);
                w->FileOpen->trigger();
                QCOMPARE(w->SaveDialog.fileName, name);
                break;
            case Action::Recent:
                if (notFound)
                    env.dialogs.expectMessage(IDOK);
                w->mnuFileRe[size_t(arg.toInt() - 1)]->trigger();
                break;
            case Action::RecentCancelled:
                type(*w, QStringLiteral("未保存"));
                env.dialogs.expectMessage(IDCANCEL);
                w->mnuFileRe[size_t(arg.toInt() - 1)]->trigger();
                QCOMPARE(w->Memo->plainText(), QStringLiteral("未保存"));
                QVERIFY(w->Memo->modified());
                break;
            case Action::RecentSaveFails:
                // A named document whose folder has gone: the save after Yes fails and is reported.
                w->SaveDialog.fileName = env.dir() + QStringLiteral("/gone/doc.txt");
                type(*w, QStringLiteral("未保存"));
                env.dialogs.expectMessage(IDYES);
                env.dialogs.expectMessage(IDOK);
                w->mnuFileRe[size_t(arg.toInt() - 1)]->trigger();
                QCOMPARE(env.dialogs.messages.last().flags, unsigned(MB_ICONERROR));
                QCOMPARE(w->Memo->plainText(), QStringLiteral("未保存"));
                break;
            case Action::SaveAs:
                type(*w, QStringLiteral("x"));
                env.dialogs.expectSave(name);
                w->FileSaveAs->trigger();
                QCOMPARE(contentOf(name), QByteArray("x"));
                break;
            case Action::Save:
                QVERIFY(w->FileOpenByName(name));
                type(*w, QStringLiteral("x"));
                w->FileSave->trigger();
                QCOMPARE(contentOf(name), arg.toLatin1() + 'x');
                break;
            case Action::Drop:
                w->WMDropFiles({name});
                QCOMPARE(w->SaveDialog.fileName, name);
                break;
            case Action::New:
                break;
            }
        }
        if (action == Action::New)
            w->FileNew->trigger();
        QCOMPARE(recentList(*w), expand(env, expected));
        QVERIFY(env.dialogs.allUsed());
        if (notFound) {
            QCOMPARE(env.dialogs.messages.size(), 1);
            QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("ファイルが見つかりませんでした。"));
            QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
            QCOMPARE(env.dialogs.messages[0].flags, 0x30u);
        }
    }

    // Opening the File menu drops entries that name no existing file (the ones below move up) and hides
    // the empty ones from the bottom, the separator with the last.
    void menuTidiesTheList_data()
    {
        QTest::addColumn<QStringList>("initial");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all exist") << QStringList{"a", "b", "c", "d"} << QStringList{"a", "b", "c", "d"};
        QTest::newRow("second gone") << QStringList{"a", "-x", "c", "d"} << QStringList{"a", "c", "d", ""};
        QTest::newRow("gaps, a folder, missing files") << QStringList{"-x", "", "a", "dir"} << QStringList{"a", "", "", ""};
        QTest::newRow("all empty") << QStringList{"", "", "", ""} << QStringList{"", "", "", ""};
        QTest::newRow("only the last exists") << QStringList{"-x", "-y", "-z", "d"} << QStringList{"d", "", "", ""};
    }
    void menuTidiesTheList()
    {
        QFETCH(QStringList, initial);
        QFETCH(QStringList, expected);
        TestEnv env;
        createFiles(env);
        auto w = env.makeWindow();
        setRecentList(*w, expand(env, initial));
        emit w->FileMenu->aboutToShow();
        QCOMPARE(recentList(*w), expand(env, expected));
        for (int n = 0; n < 4; ++n) {
            QCOMPARE(w->mnuFileRe[size_t(n)]->isVisible(), !expected[n].isEmpty());
            QCOMPARE(w->mnuFileRe[size_t(n)]->text(), expand(env, expected[n]));
        }
        QCOMPARE(w->mnuFileSep3->isVisible(), !expected[0].isEmpty());

        // A file deleted later vanishes at the next opening of the menu.
        if (!expected[0].isEmpty()) {
            QVERIFY(QFile::remove(expand(env, expected[0])));
            emit w->FileMenu->aboutToShow();
            QCOMPARE(recentList(*w), expand(env, expected.mid(1) << QString()));
        }
    }

    void captionIsThePlainName()
    {
        TestEnv env;
        const QString name = env.dir() + QStringLiteral("/R&D メモ.txt");
        QVERIFY(writeFile(name, "x"));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(name));
        w->AddRecentFile(name);
        QCOMPARE(w->recent(1), name);
        QCOMPARE(w->mnuFileRe[0]->text(), QString(name).replace(QStringLiteral("&"), QStringLiteral("&&")));
        QCOMPARE(w->mnuFileRe[0]->iconText(), name); // what the menu shows
    }

    // The list is stored as it stands when the window closes; a file first saved while closing is not in it.
    void closeTimeSaveStaysOutOfTheStoredList()
    {
        TestEnv env;
        createFiles(env);
        env.writeSettings(settingsText("\"Recent1\"=\"" + expand(env, QStringLiteral("a")).toUtf8() + "\"\n\"Recent2\"=\"/gone.txt\"\n"));
        auto w = env.makeWindow();
        type(*w, QStringLiteral("最後の文"));
        const QString fresh = env.dir() + QStringLiteral("/new.txt");
        env.dialogs.expectMessage(IDYES);
        env.dialogs.expectSave(fresh);
        QVERIFY(w->close());
        QCOMPARE(contentOf(fresh), cp932(QStringLiteral("最後の文")));
        QCOMPARE(env.dialogs.fileDialogs[0].initialDir, TfrmMain::DesktopFolder());
        SettingsStore store;
        QCOMPARE(store.readString(kOtherData, QStringLiteral("Recent1"), QStringLiteral("?")), expand(env, QStringLiteral("a")));
        QCOMPARE(store.readString(kOtherData, QStringLiteral("Recent2"), QStringLiteral("?")), QStringLiteral("/gone.txt"));
        QCOMPARE(store.readString(kOtherData, QStringLiteral("Recent3"), QStringLiteral("?")), QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
    }
};

QTEST_MAIN(TestRecentFiles)
#include "test_recentfiles.moc"
