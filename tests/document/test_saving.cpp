// Save, Save As, New and the save prompt in front of every operation that would replace or leave a
// modified document; failed writes and text the document's encoding cannot hold.

#include "docfixture.h"
#include "platform/textfile.h"
#include "testenv.h"

#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>

using namespace zv;
using namespace docfixture;

namespace {

const QString kPrompt = QStringLiteral("ファイルの内容が変更されています。保存しますか?");
// The write error with its cause; the closing bracket keeps the error report from adding a full stop.
QString createError(const QString &path, const QString &cause)
{
    return QStringLiteral("ﾌｧｲﾙ %1 を作成できません (%2)").arg(path, cause);
}
const QString kNoFolder = QStringLiteral("保存先のフォルダーがありません");
const QString kIoError = QStringLiteral("ディスクの読み書きでエラーが起きました");
// A file or folder the program may not write: as root the folder is a read-only mount, otherwise it and its
// files lack the write bits.
QString notWritable()
{
    return ::geteuid() == 0 ? QStringLiteral("読み取り専用のファイルシステムです") : QStringLiteral("書き込む権限がありません");
}

enum class Caller { New, Open, Recent, Drop, Close };
enum class Answer { YesSaved, YesDialogCancelled, YesWriteFails, YesCannotEncode, No, Cancel };

class FaultyIo : public FileIo {
public:
    enum Fault { Write, Fsync, Rename };
    explicit FaultyIo(Fault f) : m_fault(f) {}
    ssize_t write(int fd, const void *data, size_t size) override
    {
        return m_fault == Write ? fail() : FileIo::write(fd, data, size);
    }
    int fsync(int fd) override { return m_fault == Fsync ? fail() : FileIo::fsync(fd); }
    int rename(const char *from, const char *to) override
    {
        return m_fault == Rename ? fail() : FileIo::rename(from, to);
    }

private:
    int fail()
    {
        errno = EIO;
        return -1;
    }
    Fault m_fault;
};

struct FileIoScope {
    explicit FileIoScope(FileIo *io) { setFileIo(io); }
    ~FileIoScope() { setFileIo(nullptr); }
};

} // namespace

Q_DECLARE_METATYPE(Caller)
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(FaultyIo::Fault)

class TestSaving : public QObject {
    Q_OBJECT
private slots:
    // Every caller of the prompt with every answer. An answer Yes whose save did not happen stops the
    // caller as Cancel does, so the unsaved text is never replaced.
    void savePromptCallers_data()
    {
        QTest::addColumn<Caller>("caller");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("goesOn");
        const std::pair<Caller, const char *> callers[] = {{Caller::New, "new"}, {Caller::Open, "open"},
                                                           {Caller::Recent, "recent"}, {Caller::Drop, "drop"},
                                                           {Caller::Close, "close"}};
        const std::tuple<Answer, const char *, bool> answers[] = {
            {Answer::YesSaved, "yes, saved", true},
            {Answer::YesDialogCancelled, "yes, save dialog cancelled", false},
            {Answer::YesWriteFails, "yes, write fails", false},
            {Answer::YesCannotEncode, "yes, text cannot be encoded", false},
            {Answer::No, "no", true},
            {Answer::Cancel, "cancel", false}};
        for (const auto &[caller, callerName] : callers)
            for (const auto &[answer, answerName, goesOn] : answers)
                QTest::addRow("%s: %s", callerName, answerName) << caller << answer << goesOn;
    }
    void savePromptCallers()
    {
        QFETCH(Caller, caller);
        QFETCH(Answer, answer);
        QFETCH(bool, goesOn);
        TestEnv env;
        const QString other = env.dir() + QStringLiteral("/other.txt");
        const QString second = env.dir() + QStringLiteral("/second.txt");
        const QString target = answer == Answer::YesWriteFails ? env.dir() + QStringLiteral("/no such folder/s.txt")
                                                               : env.dir() + QStringLiteral("/saved.txt");
        QVERIFY(writeFile(other, cp932(QStringLiteral("別の文書"))));
        QVERIFY(writeFile(second, "second"));
        auto w = env.makeWindow();
        setRecentList(*w, {QStringLiteral("/r1.txt"), other});
        const QString unsaved = answer == Answer::YesCannotEncode ? QStringLiteral("未保存😀") : QStringLiteral("未保存");
        type(*w, unsaved);

        env.dialogs.expectMessage(answer == Answer::No ? IDNO : answer == Answer::Cancel ? IDCANCEL : IDYES);
        if (answer == Answer::YesSaved || answer == Answer::YesWriteFails)
            env.dialogs.expectSave(target);
        if (answer == Answer::YesDialogCancelled)
            env.dialogs.expectSave(std::nullopt);
        if (answer == Answer::YesWriteFails || answer == Answer::YesCannotEncode)
            env.dialogs.expectMessage(IDOK); // the error report
        if (caller == Caller::Open && goesOn)
            env.dialogs.expectOpen(other);

        bool closed = false;
        switch (caller) {
        case Caller::New: w->FileNew->trigger(); break;
        case Caller::Open: w->FileOpen->trigger(); break;
        case Caller::Recent: w->mnuFileRe[1]->trigger(); break;
        case Caller::Drop: drop(w.get(), {other, second}); break;
        case Caller::Close: closed = w->close(); break;
        }

        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages[0].text, kPrompt);
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, caller == Caller::Drop ? 0x40033u : 0x33u);
        if (answer == Answer::YesWriteFails) {
            QCOMPARE(env.dialogs.messages[1].text, createError(target, kNoFolder));
            QCOMPARE(env.dialogs.messages[1].flags, unsigned(MB_ICONERROR));
        }
        if (answer == Answer::YesCannotEncode)
            QVERIFY(env.dialogs.messages[1].text.contains(QStringLiteral("「😀」(U+1F600)")));
        QCOMPARE(QFile::exists(target), answer == Answer::YesSaved);
        if (answer == Answer::YesSaved)
            QCOMPARE(contentOf(target), cp932(unsaved));
        QVERIFY(!QApplication::overrideCursor());
        if (caller == Caller::Recent) { // the entry moves up after the prompt, unless an error ended the opening
            const bool failed = answer == Answer::YesWriteFails || answer == Answer::YesCannotEncode;
            QCOMPARE(w->recent(1), failed ? QStringLiteral("/r1.txt") : other);
        }

        if (!goesOn) {
            QVERIFY(!closed);
            QCOMPARE(w->Memo->plainText(), unsaved);
            QVERIFY(w->Memo->modified());
            QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
            return;
        }
        switch (caller) {
        case Caller::New:
            QVERIFY(w->Memo->isEmpty());
            QVERIFY(!w->Memo->modified());
            QVERIFY(w->SaveDialog.fileName.isEmpty());
            QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
            break;
        case Caller::Open:
        case Caller::Recent:
        case Caller::Drop: // only the first dropped file
            QCOMPARE(w->Memo->plainText(), QStringLiteral("別の文書"));
            QVERIFY(!w->Memo->modified());
            QCOMPARE(w->SaveDialog.fileName, other);
            QCOMPARE(w->windowTitle(), QStringLiteral("other.txt - Zuvelo PGP"));
            break;
        case Caller::Close:
            QVERIFY(closed);
            break;
        }
    }

    // The menu items, tool buttons and shortcuts of the file commands reach them in the real window.
    void everyBindingReachesTheCommand_data()
    {
        QTest::addColumn<QString>("binding");
        QTest::addColumn<QKeySequence>("key"); // empty: trigger the action named by binding
        QTest::addColumn<QString>("asks");     // "prompt", "open" or "save"
        QTest::newRow("tbNew") << QStringLiteral("tbNew") << QKeySequence() << QStringLiteral("prompt");
        QTest::newRow("Ctrl+N") << QString() << QKeySequence(Qt::CTRL | Qt::Key_N) << QStringLiteral("prompt");
        QTest::newRow("tbOpen") << QStringLiteral("tbOpen") << QKeySequence() << QStringLiteral("open");
        QTest::newRow("Ctrl+O") << QString() << QKeySequence(Qt::CTRL | Qt::Key_O) << QStringLiteral("open");
        QTest::newRow("tbSave") << QStringLiteral("tbSave") << QKeySequence() << QStringLiteral("save");
        QTest::newRow("Ctrl+S") << QString() << QKeySequence(Qt::CTRL | Qt::Key_S) << QStringLiteral("save");
        QTest::newRow("FileSaveAs") << QStringLiteral("FileSaveAs") << QKeySequence() << QStringLiteral("save");
        QTest::newRow("FileExit") << QStringLiteral("FileExit") << QKeySequence() << QStringLiteral("prompt");
    }
    void everyBindingReachesTheCommand()
    {
        QFETCH(QString, binding);
        QFETCH(QKeySequence, key);
        QFETCH(QString, asks);
        TestEnv env;
        auto w = env.makeWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        type(*w, QStringLiteral("未保存"));
        env.app.runIdle();
        if (asks == QLatin1String("prompt"))
            env.dialogs.expectMessage(IDCANCEL);
        else if (asks == QLatin1String("open")) {
            env.dialogs.expectMessage(IDNO);
            env.dialogs.expectOpen(std::nullopt);
        } else
            env.dialogs.expectSave(std::nullopt);
        if (key.isEmpty()) {
            auto *action = w->findChild<QAction *>(binding);
            QVERIFY(action);
            action->trigger();
        } else {
            QTest::keySequence(w->Memo, key);
        }
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(w->isVisible());
        QCOMPARE(w->Memo->plainText(), QStringLiteral("未保存"));
    }

    void saveDialogSettings()
    {
        TestEnv env;
        QVERIFY(QDir().mkpath(env.dir() + QStringLiteral("/home/Desktop")));
        const QString path = env.dir() + QStringLiteral("/home/Desktop/メモ.txt");
        auto w = env.makeWindow();
        type(*w, QStringLiteral("本文"));
        env.dialogs.expectSave(path);
        w->FileSave->trigger(); // untitled: Save goes through Save As
        QCOMPARE(env.dialogs.fileDialogs.size(), 1);
        const FileDialogSpec &spec = env.dialogs.fileDialogs[0];
        QCOMPARE(spec.title, QStringLiteral("名前を付けて保存"));
        QCOMPARE(spec.initialDir, env.dir() + QStringLiteral("/home/Desktop"));
        QVERIFY(spec.fileName.isEmpty());
        QCOMPARE(spec.filterIndex, 2);
        QCOMPARE(spec.defaultExt, QStringLiteral("txt"));
        QVERIFY(spec.overwritePrompt);
        QCOMPARE(spec.filters.size(), 7);
        QCOMPARE(spec.filters[1], QStringLiteral("テキストファイル (*.txt)|*.txt"));
        QCOMPARE(spec.filters[6], QStringLiteral("すべてのﾌｧｲﾙ (*.*)|*.*"));

        QCOMPARE(contentOf(path), cp932(QStringLiteral("本文")));
        QVERIFY(!w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("メモ.txt - Zuvelo PGP"));
        QCOMPARE(w->recent(1), path);
        QCOMPARE(w->SaveDialog.fileName, path);
    }

    // Save writes the named file and leaves title and recent list; New resets the status panels and
    // the line-break style.
    void saveAndNew()
    {
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/lf.txt");
        QVERIFY(writeFile(path, "one\ntwo\n"));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(path));
        setRecentList(*w, {QStringLiteral("/x.txt"), QStringLiteral("/y.txt")});
        type(*w, QStringLiteral("3\n4"));
        QCOMPARE(w->Panels[2]->text(), QStringLiteral("変更あり"));
        env.app.runIdle();
        QVERIFY(w->FileSave->isEnabled());
        w->FileSave->trigger();
        QCOMPARE(contentOf(path), QByteArray("one\ntwo\n3\n4")); // the file's own line breaks
        QVERIFY(!w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QString());
        QCOMPARE(w->windowTitle(), QStringLiteral("lf.txt - Zuvelo PGP"));
        QCOMPARE(recentList(*w), (QStringList{"/x.txt", "/y.txt", "", ""}));
        QCOMPARE(env.dialogs.messages.size(), 0);

        w->Memo->setSelStart(5);
        QCOMPARE(w->Panels[1]->text(), QStringLiteral("2行、2列"));
        w->FileNew->trigger();
        QCOMPARE(w->Panels[1]->text(), QStringLiteral("1行、1列"));
        QCOMPARE(w->Panels[2]->text(), QString());
        QCOMPARE(w->Memo->tag(), 0);
        type(*w, QStringLiteral("a\nb"));
        const QString fresh = env.dir() + QStringLiteral("/fresh.txt");
        env.dialogs.expectSave(fresh);
        w->FileSave->trigger();
        QCOMPARE(contentOf(fresh), QByteArray("a\r\nb")); // a new document has CR LF
    }

    void saveAsCancelledChangesNothing()
    {
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/a.txt");
        QVERIFY(writeFile(path, "a"));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(path));
        type(*w, QStringLiteral("b"));
        env.dialogs.expectSave(std::nullopt);
        w->FileSaveAs->trigger();
        QCOMPARE(env.dialogs.fileDialogs[0].fileName, path);
        QCOMPARE(w->SaveDialog.fileName, path);
        QVERIFY(w->Memo->modified());
        QCOMPARE(contentOf(path), QByteArray("a"));
        QCOMPARE(w->windowTitle(), QStringLiteral("a.txt - Zuvelo PGP"));
    }

    // A write that fails half-way is reported and never counted as saved: the old file is whole, the
    // document still modified, the title and recent list unchanged and the wait cursor gone.
    void failedWriteKeepsEverything_data()
    {
        QTest::addColumn<FaultyIo::Fault>("fault");
        QTest::newRow("write") << FaultyIo::Write;
        QTest::newRow("flush") << FaultyIo::Fsync;
        QTest::newRow("rename") << FaultyIo::Rename;
    }
    void failedWriteKeepsEverything()
    {
        QFETCH(FaultyIo::Fault, fault);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/doc.txt");
        QVERIFY(writeFile(path, cp932(QStringLiteral("元の内容\r\n"))));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(path));
        setRecentList(*w, {QStringLiteral("/x.txt")});
        type(*w, QStringLiteral("追加"));
        FaultyIo io(fault);
        {
            const FileIoScope scope(&io);
            env.dialogs.expectMessage(IDOK);
            w->FileSave->trigger();
        }
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, createError(path, kIoError));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("doc.txt - Zuvelo PGP"));
        QCOMPARE(contentOf(path), cp932(QStringLiteral("元の内容\r\n")));
        QCOMPARE(QDir(env.dir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("doc.txt")});
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QStringLiteral("変更あり"));
        QCOMPARE(w->windowTitle(), QStringLiteral("doc.txt - Zuvelo PGP"));
        QCOMPARE(recentList(*w), (QStringList{"/x.txt", "", "", ""}));
        QVERIFY(!QApplication::overrideCursor());

        // The close-time save fails the same way and keeps the window open.
        {
            const FileIoScope scope(&io);
            env.dialogs.expectMessage(IDYES);
            env.dialogs.expectMessage(IDOK);
            QVERIFY(!w->close());
        }
        QCOMPARE(env.dialogs.messages[2].text, createError(path, kIoError));
        QCOMPARE(contentOf(path), cp932(QStringLiteral("元の内容\r\n")));

        // Without the fault the same command saves.
        w->FileSave->trigger();
        QCOMPARE(contentOf(path), cp932(QStringLiteral("元の内容\r\n追加")));
        QVERIFY(!w->Memo->modified());
    }

    // Another program changed or removed the document's file after it was read: Save asks whether to
    // overwrite, save under another name or not save, and does what was answered. A change only of the
    // file's status, or none, asks nothing.
    void changedOutside_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("atClose");
        QTest::addColumn<QString>("question"); // "changed", "gone" or empty for none
        QTest::newRow("appended, overwrite") << QStringLiteral("append") << int(IDYES) << false << QStringLiteral("changed");
        QTest::newRow("appended, save elsewhere") << QStringLiteral("append") << int(IDNO) << false << QStringLiteral("changed");
        QTest::newRow("appended, cancel") << QStringLiteral("append") << int(IDCANCEL) << false << QStringLiteral("changed");
        QTest::newRow("appended, at close, cancel") << QStringLiteral("append") << int(IDCANCEL) << true << QStringLiteral("changed");
        QTest::newRow("appended, at close, save elsewhere") << QStringLiteral("append") << int(IDNO) << true << QStringLiteral("changed");
        QTest::newRow("same size, time set back") << QStringLiteral("same size") << int(IDCANCEL) << false << QStringLiteral("changed");
        QTest::newRow("removed, overwrite") << QStringLiteral("remove") << int(IDYES) << false << QStringLiteral("gone");
        QTest::newRow("removed, cancel") << QStringLiteral("remove") << int(IDCANCEL) << false << QStringLiteral("gone");
        QTest::newRow("folder removed, overwrite") << QStringLiteral("remove folder") << int(IDYES) << false << QStringLiteral("gone");
        QTest::newRow("mode changed only") << QStringLiteral("chmod") << 0 << false << QString();
        QTest::newRow("no change") << QString() << 0 << false << QString();
    }
    void changedOutside()
    {
        QFETCH(QString, change);
        QFETCH(int, answer);
        QFETCH(bool, atClose);
        QFETCH(QString, question);
        TestEnv env;
        const QString folder = env.dir() + QStringLiteral("/docs");
        const QString doc = folder + QStringLiteral("/doc.txt");
        const QString elsewhere = env.dir() + QStringLiteral("/elsewhere.txt");
        const QByteArray original = cp932(QStringLiteral("元の行\r\n"));
        QVERIFY(writeFile(doc, original));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(doc));
        type(*w, QStringLiteral("追加"));
        const QByteArray ours = cp932(QStringLiteral("元の行\r\n追加"));

        QByteArray outside = original;
        const QByteArray native = QFile::encodeName(doc);
        if (change == QLatin1String("append")) {
            outside += cp932(QStringLiteral("ほかのプログラムの行\r\n"));
            QFile f(doc);
            QVERIFY(f.open(QIODevice::Append));
            f.write(outside.mid(original.size()));
        } else if (change == QLatin1String("same size")) {
            struct stat st {};
            QCOMPARE(::stat(native.constData(), &st), 0);
            outside = cp932(QStringLiteral("別の行\r\n"));
            QCOMPARE(outside.size(), original.size());
            QVERIFY(writeFile(doc, outside));
            const timespec times[2] = {st.st_atim, st.st_mtim}; // size and time as they were read
            QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
        } else if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(doc));
        } else if (change == QLatin1String("remove folder")) {
            QVERIFY(QDir(folder).removeRecursively());
        } else if (change == QLatin1String("chmod")) {
            QCOMPARE(::chmod(native.constData(), 0600), 0);
        }

        if (atClose)
            env.dialogs.expectMessage(IDYES); // the save prompt
        if (!question.isEmpty())
            env.dialogs.expectMessage(answer);
        if (answer == IDNO)
            env.dialogs.expectSave(elsewhere);
        const bool failsForFolder = change == QLatin1String("remove folder");
        if (failsForFolder)
            env.dialogs.expectMessage(IDOK);
        bool closed = false;
        if (atClose)
            closed = w->close();
        else
            w->FileSave->trigger();
        QVERIFY(env.dialogs.allUsed());

        if (!question.isEmpty()) {
            const QString first = question == QLatin1String("changed")
                ? QStringLiteral("ファイル %1 は、読み込んだ後にほかのプログラムによって変更されています。\n"
                                 "上書きしますか?\n\n「はい」: ほかのプログラムの変更を捨てて上書きします。\n")
                : QStringLiteral("ファイル %1 は、読み込んだ後に削除されたか、名前が変えられています。\n"
                                 "この名前で保存しますか?\n\n「はい」: この名前でファイルを作り直します。\n");
            const auto &box = env.dialogs.messages[atClose ? 1 : 0];
            QCOMPARE(box.text, first.arg(doc) + QStringLiteral("「いいえ」: 別の名前で保存します。\n「キャンセル」: 保存しません。"));
            QCOMPARE(box.caption, QStringLiteral("Zuvelo PGP"));
            QCOMPARE(box.flags, unsigned(MB_YESNOCANCEL | MB_ICONEXCLAMATION));
        } else {
            QCOMPARE(env.dialogs.messages.size(), 0);
        }
        if (failsForFolder) {
            QCOMPARE(env.dialogs.messages.last().text, createError(doc, kNoFolder));
            QVERIFY(w->Memo->modified());
            return;
        }
        const bool gone = question == QLatin1String("gone");
        switch (question.isEmpty() ? IDYES : answer) {
        case IDYES:
            QCOMPARE(contentOf(doc), ours);
            QVERIFY(!w->Memo->modified());
            break;
        case IDNO:
            QCOMPARE(contentOf(elsewhere), ours);
            QCOMPARE(contentOf(doc), outside);
            QVERIFY(!w->Memo->modified());
            QVERIFY(closed == atClose);
            if (!atClose)
                QCOMPARE(w->windowTitle(), QStringLiteral("elsewhere.txt - Zuvelo PGP"));
            break;
        default:
            QCOMPARE(QFile::exists(doc), !gone);
            if (!gone)
                QCOMPARE(contentOf(doc), outside);
            QVERIFY(w->Memo->modified());
            QVERIFY(!closed);
            break;
        }
        if (question.isEmpty() || answer == IDYES) {
            // What the program wrote itself is no change: the next save asks nothing.
            type(*w, QStringLiteral("もう一行"));
            w->FileSave->trigger();
            QCOMPARE(env.dialogs.messages.size(), question.isEmpty() ? 0 : 1);
            QCOMPARE(contentOf(doc), cp932(QStringLiteral("元の行\r\n追加もう一行")));
        }
    }

    // A character the document's encoding lacks is never replaced: the save stops, names it and
    // selects it; nothing is written.
    void unencodableCharacterStopsTheSave_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named"); // the character as the message names it
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("where");
        QTest::newRow("emoji") << QStringLiteral("一行目\nab😀c") << QStringLiteral("「😀」(U+1F600)") << 6
                               << QStringLiteral("(2行、3列)");
        QTest::newRow("hangul") << QStringLiteral("한") << QStringLiteral("「한」(U+D55C)") << 0
                                << QStringLiteral("(1行、1列)");
        QTest::newRow("sharp s after text") << QStringLiteral("x\ny\nzzß") << QStringLiteral("「ß」(U+00DF)") << 6
                                               << QStringLiteral("(3行、3列)");
    }
    void unencodableCharacterStopsTheSave()
    {
        QFETCH(QString, text);
        QFETCH(QString, named);
        QFETCH(int, position);
        QFETCH(QString, where);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/doc.txt");
        QVERIFY(writeFile(path, "old"));
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(path));
        w->Memo->setText(text);
        env.dialogs.expectMessage(IDOK);
        w->FileSave->trigger();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text,
                 named + QStringLiteral(" は Shift-JIS (CP932) で保存できない文字です。保存を中止しました。") + where);
        QCOMPARE(env.dialogs.messages[0].flags, unsigned(MB_ICONERROR));
        QCOMPARE(contentOf(path), QByteArray("old"));
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Memo->selStart(), position);
        QCOMPARE(w->Memo->selText(), named.mid(1, named.indexOf(QStringLiteral("」")) - 1));

        // Save As tells it before a name is asked for, and the document keeps its name.
        env.dialogs.expectMessage(IDOK);
        w->FileSaveAs->trigger();
        QCOMPARE(env.dialogs.fileDialogs.size(), 0);
        QCOMPARE(w->SaveDialog.fileName, path);
    }

    // A read-only file: the title says so, typing shows no indicator but the prompt still asks, Save goes
    // through Save As in the file's folder, writing over it fails, Save As elsewhere gives the plain title,
    // and a ".LOG" line gets no stamp. A folder that cannot be written fails Save As and keeps everything.
    void readOnlyFileAndFolder()
    {
        QTemporaryDir tmp;
        const QString base = qEnvironmentVariableIsSet("ZV_RO_CHILD") ? qEnvironmentVariable("ZV_RO_BASE") : tmp.path();
        const QString locked = base + QStringLiteral("/ro/locked.txt");
        const QString log = base + QStringLiteral("/ro/log.txt");
        if (!qEnvironmentVariableIsSet("ZV_RO_CHILD")) {
            QVERIFY(writeFile(locked, cp932(QStringLiteral("読むだけ"))));
            QVERIFY(writeFile(log, ".LOG\r\n"));
            QVERIFY(QDir().mkpath(base + QStringLiteral("/rw")));
        }
        WritableAgain restore{base + QStringLiteral("/ro")};
        switch (readOnlyFolder(base + QStringLiteral("/ro"), "readOnlyFileAndFolder", base)) {
        case ReadOnlyRun::DoneInChild: return;
        case ReadOnlyRun::Unavailable:
            QSKIP("running as root without user namespaces: no way to make a file the program may not write");
        case ReadOnlyRun::Here: break;
        }

        TestEnv env;
        auto w = env.makeWindow();
        env.dialogs.expectOpen(locked);
        w->FileOpen->trigger();
        QCOMPARE(w->windowTitle(), QStringLiteral("locked.txt [読み取り専用] - Zuvelo PGP"));
        QCOMPARE(env.app.title(), w->windowTitle());
        QCOMPARE(w->Memo->tag(), 1);
        type(*w, QStringLiteral("追記"));
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QString());

        // Save: Save As, pre-filled, in the file's folder; the same name cannot be written.
        env.dialogs.expectSave(locked);
        env.dialogs.expectMessage(IDOK);
        w->FileSave->trigger();
        QCOMPARE(env.dialogs.fileDialogs.last().fileName, locked);
        QCOMPARE(env.dialogs.fileDialogs.last().initialDir, base + QStringLiteral("/ro"));
        QCOMPARE(env.dialogs.messages.last().text, createError(locked, notWritable()));
        QCOMPARE(contentOf(locked), cp932(QStringLiteral("読むだけ")));
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Memo->tag(), 1);

        // New on it asks; Cancel keeps it.
        env.dialogs.expectMessage(IDCANCEL);
        w->FileNew->trigger();
        QCOMPARE(env.dialogs.messages.last().text, kPrompt);
        QCOMPARE(w->Memo->tag(), 1);

        // A folder that cannot be written: Save As there fails, leaves no file and changes nothing else.
        const QString inLockedFolder = base + QStringLiteral("/ro/new.txt");
        env.dialogs.expectSave(inLockedFolder);
        env.dialogs.expectMessage(IDOK);
        w->FileSaveAs->trigger();
        QCOMPARE(env.dialogs.messages.last().text, createError(inLockedFolder, notWritable()));
        QVERIFY(!QFile::exists(inLockedFolder));
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->windowTitle(), QStringLiteral("locked.txt [読み取り専用] - Zuvelo PGP"));
        QCOMPARE(w->recent(1), locked);

        // Save As to a writable place: the plain title, mark 0.
        const QString copy = base + QStringLiteral("/rw/copy.txt");
        env.dialogs.expectSave(copy);
        w->FileSaveAs->trigger();
        QCOMPARE(contentOf(copy), cp932(QStringLiteral("読むだけ追記")));
        QCOMPARE(w->windowTitle(), QStringLiteral("copy.txt - Zuvelo PGP"));
        QCOMPARE(w->Memo->tag(), 0);
        QVERIFY(!w->Memo->modified());

        // ".LOG" in a read-only file: no stamp.
        QVERIFY(w->FileOpenByName(log));
        QCOMPARE(w->Memo->text(), QStringLiteral(".LOG\r\n"));
        QVERIFY(!w->Memo->modified());
        QCOMPARE(w->windowTitle(), QStringLiteral("log.txt [読み取り専用] - Zuvelo PGP"));

        // Closing a modified read-only document: the close-time Save As starts in the file's folder.
        type(*w, QStringLiteral("x"));
        env.dialogs.expectMessage(IDYES);
        env.dialogs.expectSave(std::nullopt);
        QVERIFY(!w->close());
        QCOMPARE(env.dialogs.fileDialogs.last().initialDir, base + QStringLiteral("/ro"));
        QVERIFY(env.dialogs.allUsed());
    }
};

QTEST_MAIN(TestSaving)
#include "test_saving.moc"
