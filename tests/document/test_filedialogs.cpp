// The open and save dialogs as the user meets them: the real file dialog (its non-native form), scripted
// by typing into its name line, choosing in its filter list and pressing Enter. Typed names with and
// without a dot, existing or not, each filter, and the filter remembered from one opening to the next.

#include "docfixture.h"
#include "testenv.h"
#include "platform/filenames.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <deque>

using namespace zv;
using namespace docfixture;

namespace {

// The program's prompts stay scripted; the file dialogs are the real ones.
class RealFileDialogs : public ScriptedDialogs {
public:
    bool openFile(QWidget *owner, FileDialogSpec &spec) override
    {
        fileDialogs << spec;
        return m_desktop.openFile(owner, spec);
    }
    bool saveFile(QWidget *owner, FileDialogSpec &spec) override
    {
        fileDialogs << spec;
        return m_desktop.saveFile(owner, spec);
    }

private:
    DesktopDialogs m_desktop;
};

// Acts on the modal windows as they come up, one step each, in order. A step runs on the next modal
// window of its kind (a file dialog or a message box) once it is shown.
class ModalScript {
public:
    using Step = std::function<void(QWidget *)>;
    enum class Kind { FileDialog, MessageBox };

    ModalScript()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_timer.start();
    }
    void then(Kind kind, Step step) { m_steps.push_back({kind, std::move(step)}); }
    bool done() const { return m_steps.empty() && unexpected.isEmpty(); }
    QStringList unexpected;

private:
    void tick()
    {
        if (m_steps.empty())
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        const bool isFileDialog = qobject_cast<QFileDialog *>(modal) != nullptr;
        const bool isBox = qobject_cast<QMessageBox *>(modal) != nullptr;
        const Kind kind = m_steps.front().first;
        if (kind == Kind::FileDialog && isBox) {
            // A question nobody expected: told, and answered so that the test does not wait on it.
            unexpected << static_cast<QMessageBox *>(modal)->text();
            static_cast<QMessageBox *>(modal)->reject();
            return;
        }
        if ((kind == Kind::FileDialog && !isFileDialog) || (kind == Kind::MessageBox && !isBox))
            return;
        Step step = std::move(m_steps.front().second);
        m_steps.pop_front();
        // Run outside this timer's own call: a step that opens the next modal window (the dialog's
        // question before replacing a file) waits inside it, and a timer is not called again while it runs.
        const QPointer<QWidget> window(modal);
        QTimer::singleShot(0, [window, step = std::move(step)] {
            if (!window)
                return;
            step(window);
            // A step that failed half-way must not leave the test waiting on an open window.
            if (window && window->isVisible())
                if (auto *dialog = qobject_cast<QDialog *>(window.data()))
                    dialog->reject();
        });
    }
    std::deque<std::pair<Kind, Step>> m_steps;
    QTimer m_timer;
};

QLineEdit *nameLine(QWidget *dialog) { return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")); }
QComboBox *filterList(QWidget *dialog) { return dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")); }

// Chooses a filter as the user does, with the arrow keys on the list (index from 0).
void chooseFilter(QWidget *dialog, int index)
{
    QComboBox *list = filterList(dialog);
    while (list->currentIndex() < index)
        QTest::keyClick(list, Qt::Key_Down);
    while (list->currentIndex() > index)
        QTest::keyClick(list, Qt::Key_Up);
}

void typeName(QWidget *dialog, const QString &name)
{
    QLineEdit *line = nameLine(dialog);
    line->setFocus();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    QTest::keyClicks(line, name);
}

void pressEnter(QWidget *dialog) { QTest::keyClick(nameLine(dialog), Qt::Key_Return); }

// The names the dialog's list shows (enabled rows), once the folder has been read.
QStringList listedNames(QWidget *dialog)
{
    auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    QStringList names;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, view->rootIndex());
        if (model->flags(index) & Qt::ItemIsEnabled)
            names << index.data().toString();
    }
    names.sort();
    return names;
}

// The filter descriptions as the dialog's list shows them.
QStringList shownFilters(QWidget *dialog)
{
    QStringList out;
    QComboBox *list = filterList(dialog);
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

// A folder with files of every kind the filters tell apart.
QString makeFiles(const TestEnv &env)
{
    const QString dir = env.dir() + QStringLiteral("/files");
    [&] { QVERIFY(QDir().mkpath(dir + QStringLiteral("/sub"))); }();
    for (const char *name : {"README", "notes.txt", "page.html", "a.b"})
        [&] { QVERIFY(writeFile(dir + QLatin1Char('/') + QLatin1String(name), name)); }();
    return dir;
}

} // namespace

class TestFileDialogs : public QObject {
    Q_OBJECT
private slots:
    // What a typed name becomes. The default extension goes only to a name without a dot that names
    // nothing; a name that exists is taken as it is; a typed pattern lists the folder instead.
    void typedName_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<int>("filter"); // chosen after typing, from 0; -1: the initial one
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // relative to the folder; empty: the dialog stays open
        for (const bool save : {false, true}) {
            const char *mode = save ? "save: " : "open: ";
            auto row = [&](const char *tag) -> QTestData & {
                return QTest::newRow((QByteArray(mode) + tag).constData()) << save;
            };
            row("existing without dot") << -1 << "README" << "README";
            row("existing with dot") << -1 << "notes.txt" << "notes.txt";
            row("existing, another extension") << -1 << "a.b" << "a.b";
            row("new without dot") << -1 << "fresh" << "fresh.txt";
            row("without dot, only the .txt exists") << -1 << "notes" << "notes.txt";
            row("new with dot") << -1 << "new.md" << "new.md";
            row("in a subfolder") << -1 << "sub/inner" << "sub/inner.txt";
            row("pattern") << -1 << "*" << "";
            row("pattern with dot") << -1 << "*.b" << "";
            // The typed name stays what it was, whichever filter is chosen afterwards.
            row("typed, then filter 3") << 2 << "bfile.txt" << "bfile.txt";
            row("typed, then the last filter") << 6 << "bfile.txt" << "bfile.txt";
            row("without dot, then the last filter") << 6 << "bfile" << "bfile.txt";
        }
    }
    void typedName()
    {
        QFETCH(bool, save);
        QFETCH(int, filter);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        TestEnv env;
        const QString dir = makeFiles(env);
        auto w = env.makeWindow();
        RealFileDialogs dialogs;
        FileDialogSpec spec = save ? w->SaveDialog : w->OpenDialog;
        spec.initialDir = dir;

        ModalScript script;
        QString shownAfterFilter;
        script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
            // Saving over a file that exists asks the dialog's own question first.
            if (save && !expected.isEmpty() && QFileInfo::exists(dir + QLatin1Char('/') + expected))
                script.then(ModalScript::Kind::MessageBox, [](QWidget *box) {
                    static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
                });
            typeName(d, typed);
            if (filter >= 0) {
                chooseFilter(d, filter);
                shownAfterFilter = nameLine(d)->text();
            }
            pressEnter(d);
            if (expected.isEmpty()) {
                // Still open, listing what the pattern matches; then the user gives up.
                QVERIFY(d->isVisible());
                const QStringList matching = typed == QLatin1String("*")
                                                 ? QStringList{"README", "a.b", "notes.txt", "page.html", "sub"}
                                                 : QStringList{"a.b", "sub"};
                QTRY_COMPARE(listedNames(d), matching);
            }
        });
        const bool confirmed = save ? Dialogs::instance().saveFile(w.get(), spec)
                                    : Dialogs::instance().openFile(w.get(), spec);
        QVERIFY(script.done());
        if (filter >= 0)
            QCOMPARE(shownAfterFilter, typed);
        if (expected.isEmpty()) {
            QVERIFY(!confirmed);
            return;
        }
        QVERIFY(confirmed);
        QCOMPARE(spec.fileName, dir + QLatin1Char('/') + expected);
        QCOMPARE(spec.filterIndex, filter >= 0 ? filter + 1 : (save ? 2 : 1));
    }

    // What each filter lists, with the descriptions as they stand in the list.
    void filterLists_data()
    {
        QTest::addColumn<bool>("save");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QStringList>("listed");
        const QStringList readable{"notes.txt", "page.html", "sub"};
        const QStringList all{"README", "a.b", "notes.txt", "page.html", "sub"};
        QTest::newRow("open: readable files") << false << 0 << readable;
        QTest::newRow("open: text files") << false << 1 << QStringList{"notes.txt", "sub"};
        QTest::newRow("open: internet documents") << false << 2 << QStringList{"page.html", "sub"};
        QTest::newRow("open: settings files") << false << 5 << QStringList{"sub"};
        QTest::newRow("open: all files") << false << 6 << all;
        QTest::newRow("save: text files") << true << 1 << QStringList{"notes.txt", "sub"};
        QTest::newRow("save: all files (*.*)") << true << 6 << all;
    }
    void filterLists()
    {
        QFETCH(bool, save);
        QFETCH(int, filter);
        QFETCH(QStringList, listed);
        TestEnv env;
        const QString dir = makeFiles(env);
        auto w = env.makeWindow();
        RealFileDialogs dialogs;
        FileDialogSpec spec = save ? w->SaveDialog : w->OpenDialog;
        spec.initialDir = dir;
        QStringList descriptions;
        for (const QString &f : spec.filters)
            descriptions << f.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(descriptions.size(), 7);
        QCOMPARE(descriptions.last(), save ? QStringLiteral("すべてのﾌｧｲﾙ (*.*)") : QStringLiteral("すべてのﾌｧｲﾙ (*)"));

        ModalScript script;
        QStringList shown;
        script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
            shown = shownFilters(d);
            chooseFilter(d, filter);
            QTRY_COMPARE(listedNames(d), listed);
        });
        QVERIFY(!(save ? Dialogs::instance().saveFile(w.get(), spec) : Dialogs::instance().openFile(w.get(), spec)));
        QVERIFY(script.done());
        QCOMPARE(shown, descriptions);
    }

    // Save As of a document with a Shift-JIS name: the dialog opens pre-filled with it, asks before
    // replacing it, and gives back the file's own bytes.
    void foreignNamePrefilled()
    {
        TestEnv env;
        const QString dir = makeFiles(env);
        const QByteArray onDisk = QFile::encodeName(dir) + "/\x95\x5C.txt";
        QVERIFY(writeRawFile(onDisk, "sjis"));
        const auto cleanUp = qScopeGuard([&] { ::unlink(onDisk.constData()); });
        auto w = env.makeWindow();
        RealFileDialogs dialogs;
        FileDialogSpec spec = w->SaveDialog;
        spec.initialDir = dir;
        spec.fileName = fileNameFromNative(onDisk);

        ModalScript script;
        bool asked = false;
        for (const bool replace : {false, true}) {
            script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
                script.then(ModalScript::Kind::MessageBox, [&](QWidget *box) {
                    asked = true;
                    static_cast<QMessageBox *>(box)->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
                });
                pressEnter(d);
                if (!replace) {
                    QVERIFY(asked);
                    QVERIFY(d->isVisible()); // "No" leaves the dialog open
                }
            });
            asked = false;
            const bool confirmed = Dialogs::instance().saveFile(w.get(), spec);
            QVERIFY(script.done());
            QVERIFY(asked);
            QCOMPARE(confirmed, replace);
        }
        QCOMPARE(nativeFileName(spec.fileName), onDisk);
    }

    // Through the commands: a file without a dot opens, and Save As with "all files" writes the name typed.
    void commandsKeepTheTypedName()
    {
        TestEnv env;
        const QString dir = makeFiles(env);
        auto w = env.makeWindow();
        RealFileDialogs dialogs;
        w->SaveDialog.fileName = dir + QStringLiteral("/notes.txt"); // the dialogs start in this folder

        ModalScript script;
        script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
            typeName(d, QStringLiteral("README"));
            pressEnter(d);
        });
        w->FileOpen->trigger();
        QVERIFY(script.done());
        QCOMPARE(w->windowTitle(), QStringLiteral("README - Zuvelo PGP"));
        QCOMPARE(w->Memo->text(), QStringLiteral("README"));
        QCOMPARE(w->recent(1), dir + QStringLiteral("/README"));

        script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
            typeName(d, QStringLiteral("bfile.txt"));
            chooseFilter(d, 6);
            pressEnter(d);
        });
        w->FileSaveAs->trigger();
        QVERIFY(script.done());
        QCOMPARE(contentOf(dir + QStringLiteral("/bfile.txt")), QByteArray("README"));
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/bfile.*")));
        QCOMPARE(w->recent(1), dir + QStringLiteral("/bfile.txt"));
        QCOMPARE(w->windowTitle(), QStringLiteral("bfile.txt - Zuvelo PGP"));

        // Saving over an existing file asks the dialog's own question first.
        script.then(ModalScript::Kind::FileDialog, [&](QWidget *d) {
            typeName(d, QStringLiteral("README"));
            pressEnter(d);
        });
        script.then(ModalScript::Kind::MessageBox, [](QWidget *box) {
            static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
        });
        type(*w, QStringLiteral("!"));
        w->FileSaveAs->trigger();
        QVERIFY(script.done());
        QCOMPARE(contentOf(dir + QStringLiteral("/README")), QByteArray("README!"));
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/README.txt")));
        QVERIFY(dialogs.allUsed());
    }

    // The filter chosen in a confirmed dialog is the one offered the next time: Open, Save As and the
    // close-time Save As (which shares the save dialog).
    void filterRemembered()
    {
        TestEnv env;
        const QString dir = makeFiles(env);
        auto w = env.makeWindow();
        RealFileDialogs dialogs;
        w->SaveDialog.fileName = dir + QStringLiteral("/notes.txt");
        ModalScript script;
        QList<int> offered;
        auto confirmWith = [&](int filter, const QString &name) {
            script.then(ModalScript::Kind::FileDialog, [&, filter, name](QWidget *d) {
                offered << filterList(d)->currentIndex();
                typeName(d, name);
                if (filter >= 0)
                    chooseFilter(d, filter);
                pressEnter(d);
            });
        };

        confirmWith(2, QStringLiteral("page.html"));
        w->FileOpen->trigger();
        confirmWith(-1, QStringLiteral("notes.txt"));
        w->FileOpen->trigger();
        QCOMPARE(offered, (QList<int>{0, 2}));

        offered.clear();
        confirmWith(3, QStringLiteral("s1.vbs"));
        w->FileSaveAs->trigger();
        confirmWith(5, QStringLiteral("s2.ini"));
        w->FileSaveAs->trigger();
        QVERIFY(QFileInfo::exists(dir + QStringLiteral("/s2.ini")));
        QCOMPARE(offered, (QList<int>{1, 3}));

        // The close-time Save As of an untitled document offers what Save As chose last, and the next one
        // what it chose itself.
        offered.clear();
        for (const char *name : {"c1.js", "c2.txt"}) {
            w->FileNew->trigger();
            type(*w, QStringLiteral("閉じる"));
            dialogs.expectMessage(IDYES);
            confirmWith(QLatin1String(name) == QLatin1String("c1.js") ? 4 : -1,
                        dir + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(w->close());
            w->show();
        }
        QCOMPARE(offered, (QList<int>{5, 4}));
        QCOMPARE(contentOf(dir + QStringLiteral("/c2.txt")), cp932(QStringLiteral("閉じる")));
        QVERIFY(script.done());
    }
};

QTEST_MAIN(TestFileDialogs)
#include "test_filedialogs.moc"
