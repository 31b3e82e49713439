// Opening files: the Open command, files named on the command line and dropped files, the ".LOG" stamp,
// failed reads, and files that come back byte for byte when saved unchanged.

#include "docfixture.h"
#include "testenv.h"
#include "platform/filenames.h"

#include <QScopeGuard>
#include <QStringDecoder>


using namespace zv;
using namespace docfixture;

namespace {

QString openError(const QString &path) { return QStringLiteral("ﾌｧｲﾙ %1 は開けません.").arg(path); }

// Bytes of a literal, NULs included.
template <size_t N>
QByteArray raw(const char (&s)[N])
{
    return QByteArray(s, qsizetype(N - 1));
}

// The scripted dialogs, with an open dialog whose user also picks a filter.
class FilterPickingDialogs : public ScriptedDialogs {
public:
    int pick = 0;
    bool openFile(QWidget *owner, FileDialogSpec &spec) override
    {
        const bool ok = ScriptedDialogs::openFile(owner, spec);
        if (ok && pick)
            spec.filterIndex = pick;
        return ok;
    }
};

// Everything a failed read must leave as it was.
struct Snapshot {
    QString text, title, fileName;
    bool modified;
    int tag;
    QStringList recent;
    explicit Snapshot(const TfrmMain &w)
        : text(w.Memo->plainText()), title(w.windowTitle()), fileName(w.SaveDialog.fileName),
          modified(w.Memo->modified()), tag(w.Memo->tag()), recent(recentList(w))
    {
    }
    bool operator==(const Snapshot &) const = default;
};

} // namespace

class TestOpening : public QObject {
    Q_OBJECT
private slots:
    void openDialogSettings()
    {
        TestEnv env;
        FilterPickingDialogs dialogs;
        const QString a = env.dir() + QStringLiteral("/a.txt");
        QVERIFY(writeFile(a, "a"));
        auto w = env.makeWindow();
        dialogs.pick = 3;
        dialogs.expectOpen(a);
        w->FileOpen->trigger();
        dialogs.expectOpen(std::nullopt);
        w->FileOpen->trigger();
        QCOMPARE(dialogs.fileDialogs.size(), 2);
        const FileDialogSpec &first = dialogs.fileDialogs[0];
        QCOMPARE(first.title, QStringLiteral("ファイルを開く"));
        QCOMPARE(first.defaultExt, QStringLiteral("txt"));
        QCOMPARE(first.filterIndex, 1);
        QCOMPARE(first.filters.size(), 7);
        QCOMPARE(first.filters[0], QStringLiteral("読み込み可能ファイル (*.txt;*.htm;*.html;*.vbs;*.js;*.ini)|"
                                                  "*.txt;*.htm;*.html;*.vbs;*.js;*.ini"));
        QCOMPARE(first.filters[5], QStringLiteral("設定ファイル (*.ini)|*.ini"));
        QCOMPARE(first.filters[6], QStringLiteral("すべてのﾌｧｲﾙ (*)|*")); // files without a dot too
        QVERIFY(!first.overwritePrompt);
        QCOMPARE(dialogs.fileDialogs[1].filterIndex, 3); // the filter chosen last time
        QVERIFY(dialogs.fileDialogs[1].fileName.isEmpty());
        QVERIFY(dialogs.allUsed());
    }

    // The stamp: always at the very end, so a final line break gives an empty line before it.
    void logStamp_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected"); // with %1 for the stamp; empty: no stamp
        QTest::newRow("final CR LF") << cp932(QStringLiteral(".LOG\nメモ\n")) << QStringLiteral(".LOG\r\nメモ\r\n\r\n%1\r\n");
        QTest::newRow("no final break") << QByteArray(".LOG") << QStringLiteral(".LOG\r\n%1\r\n");
        QTest::newRow("LF file") << QByteArray(".LOG\nx") << QStringLiteral(".LOG\r\nx\r\n%1\r\n");
        QTest::newRow("lower case") << QByteArray(".log\r\n") << QString();
        QTest::newRow("leading blank") << QByteArray(" .LOG\r\n") << QString();
        QTest::newRow("trailing blank") << QByteArray(".LOG \r\n") << QString();
        QTest::newRow("more on the line") << QByteArray(".LOGS\r\n") << QString();
        QTest::newRow("second line") << QByteArray("x\r\n.LOG\r\n") << QString();
    }
    void logStamp()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/log.txt");
        QVERIFY(writeFile(path, file));
        auto w = env.makeWindow();
        w->FDateTimeFormat = QStringLiteral("'記録' yyyy");
        const QString stamp = QStringLiteral("記録 %1").arg(QDate::currentDate().year());
        env.dialogs.expectOpen(path);
        w->FileOpen->trigger();
        if (expected.isEmpty()) {
            QCOMPARE(w->Memo->text(), QString::fromLatin1(file));
            QVERIFY(!w->Memo->modified());
            return;
        }
        QCOMPARE(w->Memo->text(), expected.arg(stamp));
        QCOMPARE(w->Memo->selStart(), w->Memo->textLength());
        QCOMPARE(w->Memo->selLength(), 0);
        // Text put in by the program counts as unsaved: Save is offered, closing asks.
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QStringLiteral("変更あり"));
        env.app.runIdle();
        QVERIFY(w->FileSave->isEnabled());
        env.dialogs.expectMessage(IDNO);
        QVERIFY(w->close());
        QCOMPARE(env.dialogs.messages.size(), 1);
    }

    // A read that fails changes nothing: not the text, the modified flag, the read-only mark, the title,
    // the file name nor the recent list. The error report names the file; the wait cursor is gone.
    void failedReadChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("name");
        QTest::newRow("dialog: missing file") << QStringLiteral("dialog") << QStringLiteral("missing.txt");
        QTest::newRow("dialog: folder") << QStringLiteral("dialog") << QStringLiteral("folder");
        QTest::newRow("dialog: unreadable") << QStringLiteral("dialog") << QStringLiteral("pipe");
        QTest::newRow("drop: folder") << QStringLiteral("drop") << QStringLiteral("folder");
        QTest::newRow("drop on the editor: missing file") << QStringLiteral("editor") << QStringLiteral("missing.txt");
    }
    void failedReadChangesNothing()
    {
        QFETCH(QString, how);
        QFETCH(QString, name);
        TestEnv env;
        const QString doc = env.dir() + QStringLiteral("/doc.txt");
        QVERIFY(writeFile(doc, "old"));
        QVERIFY(QDir(env.dir()).mkdir(QStringLiteral("folder")));
        QCOMPARE(::mkfifo(QFile::encodeName(env.dir() + QStringLiteral("/pipe")).constData(), 0600), 0);
        auto w = env.makeWindow();
        QVERIFY(w->FileOpenByName(doc));
        setRecentList(*w, {QStringLiteral("/r1.txt"), QStringLiteral("/r2.txt")});
        type(*w, QStringLiteral("未保存"));
        const Snapshot before(*w);

        const QString path = env.dir() + QLatin1Char('/') + name;
        env.dialogs.expectMessage(IDNO); // the save prompt
        if (how == QLatin1String("dialog"))
            env.dialogs.expectOpen(path);
        env.dialogs.expectMessage(IDOK); // the error report
        if (how == QLatin1String("dialog"))
            w->FileOpen->trigger();
        else
            drop(how == QLatin1String("drop") ? static_cast<QWidget *>(w.get()) : w->Memo->viewport(), {path});

        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.last().text, openError(path));
        QCOMPARE(env.dialogs.messages.last().caption, QStringLiteral("doc.txt - Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages.last().flags, unsigned(MB_ICONERROR));
        QVERIFY(Snapshot(*w) == before);
        QCOMPARE(w->Panels[2]->text(), QStringLiteral("変更あり"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // Unchanged text goes back to the disk byte for byte, whatever the file held, through the window's
    // own Open and Save.
    void openAndSaveIsByteExact_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Japanese, CR LF") << cp932(QStringLiteral("日本語のテキスト\nｶﾀｶﾅ ① 髙\n"));
        QTest::newRow("odd bytes") << raw("a\x80\xA0\xFD\xFE\xFF b\x81\x20 c\x85\x40 d\x87\x90\x81\xE0");
        QTest::newRow("lone CR and LF in CR LF") << QByteArray("one\r\ntwo\rthree\nfour\r\n");
        QTest::newRow("LF with a CR") << QByteArray("one\ntwo\rthree\n");
        QTest::newRow("CR only") << QByteArray("one\rtwo\r\nthree");
        QTest::newRow("NUL and controls") << raw("a\0b\x01\x1b\x7f\x0c\r\n");
        QTest::newRow("no final break, lone lead byte") << QByteArray("end\x82");
        QTest::newRow("backslash and tilde") << QByteArray("C:\\path ~ \x95\x5C");
        QTest::newRow("empty") << QByteArray();
    }
    void openAndSaveIsByteExact()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!bytes.isEmpty() || qstrcmp(QTest::currentDataTag(), "empty") == 0);
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/odd.txt");
        QVERIFY(writeFile(path, bytes));
        auto w = env.makeWindow();
        env.dialogs.expectOpen(path);
        w->FileOpen->trigger();
        QVERIFY(!w->Memo->modified());
        QCOMPARE(w->windowTitle(), QStringLiteral("odd.txt - Zuvelo PGP"));
        // The size panel shows the size of the file, line breaks as the file has them.
        env.app.runIdle();
        QCOMPARE(w->Panels[0]->text(), QStringLiteral("%1KB (%2 バイト)").arg(bytes.size() / 1024).arg(bytes.size()));
        // An edit that leaves the text as it was, so that Save is offered.
        type(*w, QStringLiteral("x"));
        QTest::keyClick(w->Memo, Qt::Key_Backspace);
        env.app.runIdle();
        if (!bytes.isEmpty()) {
            QVERIFY(w->FileSave->isEnabled());
            w->FileSave->trigger();
            QVERIFY(!w->Memo->modified());
        } else {
            // An unmodified empty file leaves Save disabled; the handler is called to show it writes the same bytes.
            w->FileSaveClick();
        }
        QCOMPARE(contentOf(path).toHex(' '), bytes.toHex(' '));
        const QString copy = env.dir() + QStringLiteral("/copy.txt");
        env.dialogs.expectSave(copy);
        w->FileSaveAs->trigger();
        QCOMPARE(contentOf(copy).toHex(' '), bytes.toHex(' '));
    }

    // A large file's size is shown whole: the panel grows to fit it.
    void sizePanelFitsALargeSize()
    {
        TestEnv env;
        const QString path = env.dir() + QStringLiteral("/large.txt");
        QByteArray line(99, 'x');
        line += '\n';
        QByteArray bytes;
        bytes.reserve(9000100);
        while (bytes.size() < 9000000)
            bytes += line;
        bytes += "end";
        QVERIFY(writeFile(path, bytes));
        auto w = env.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        env.dialogs.expectOpen(path);
        w->FileOpen->trigger();
        env.app.runIdle();
        QLabel *panel = w->Panels[0];
        QCOMPARE(panel->text(), QStringLiteral("8789KB (9000003 バイト)"));
        QTRY_VERIFY(panel->contentsRect().width() - panel->margin() * 2 >= panel->fontMetrics().horizontalAdvance(panel->text()));
        // A small document gives the panel its own width back.
        w->Memo->setText(QStringLiteral("a"));
        env.app.runIdle();
        QTRY_COMPARE(panel->width(), panel->minimumWidth());
    }

    void commandLineFile_data()
    {
        QTest::addColumn<QString>("argument"); // relative to the temporary folder's "cwd"
        QTest::addColumn<bool>("exists");
        QTest::newRow("absolute") << QStringLiteral("@/cwd/メモ.txt") << true;
        QTest::newRow("relative") << QStringLiteral("メモ.txt") << true;
        QTest::newRow("relative with dots") << QStringLiteral("../cwd/./メモ.txt") << true;
        QTest::newRow("missing") << QStringLiteral("無い.txt") << false;
        QTest::newRow("folder") << QStringLiteral(".") << false;
    }
    void commandLineFile()
    {
        QFETCH(QString, argument);
        QFETCH(bool, exists);
        TestEnv env;
        const QString cwd = env.dir() + QStringLiteral("/cwd");
        const QString file = cwd + QStringLiteral("/メモ.txt");
        QVERIFY(writeFile(file, cp932(QStringLiteral("内容\r\n"))));
        env.writeSettings(settingsText("\"Recent1\"=\"/r1.txt\"\n\"Recent2\"=\"/r2.txt\"\n"));
        const QString oldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(cwd));
        argument.replace(QLatin1Char('@'), env.dir());
        if (!exists)
            env.dialogs.expectMessage(IDOK);
        auto w = env.makeWindow({argument});
        QDir::setCurrent(oldCwd);
        QVERIFY(env.dialogs.allUsed());
        if (exists) {
            QCOMPARE(w->windowTitle(), QStringLiteral("メモ.txt - Zuvelo PGP"));
            QCOMPARE(w->SaveDialog.fileName, file);
            QCOMPARE(recentList(*w), (QStringList{file, "/r1.txt", "/r2.txt", ""}));
            QCOMPARE(w->Memo->plainText(), QStringLiteral("内容\n"));
            QVERIFY(!w->Memo->modified());
            QCOMPARE(env.dialogs.messages.size(), 0);
        } else {
            const QString absolute = QDir::cleanPath(cwd + QLatin1Char('/') + argument);
            QCOMPARE(env.dialogs.messages.size(), 1);
            QCOMPARE(env.dialogs.messages[0].text, openError(absolute));
            QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("無題 - Zuvelo PGP"));
            QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
            QVERIFY(w->SaveDialog.fileName.isEmpty());
            QCOMPARE(recentList(*w), (QStringList{"/r1.txt", "/r2.txt", "", ""}));
            QVERIFY(w->Memo->isEmpty());
        }
        QCOMPARE(w->Panels[2]->text(), QString());
        QVERIFY(w->isVisible());
    }

    void commandLineLogFileIsStamped()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"DateTime\"=\"'stamp'\"\n"));
        const QString file = env.dir() + QStringLiteral("/log.txt");
        QVERIFY(writeFile(file, ".LOG\r\n"));
        auto w = env.makeWindow({file});
        QCOMPARE(w->Memo->text(), QStringLiteral(".LOG\r\n\r\nstamp\r\n"));
        QCOMPARE(w->Memo->selStart(), w->Memo->textLength());
        QVERIFY(w->Memo->modified());
        QCOMPARE(w->Panels[2]->text(), QStringLiteral("変更あり"));
    }

    // A drop on the window or on the editor opens the first file only; it goes to the top of the recent
    // list without a duplicate, and a ".LOG" file gets its stamp.
    void dropOpensTheFirstFile_data()
    {
        QTest::addColumn<bool>("onEditor");
        QTest::newRow("window") << false;
        QTest::newRow("editor") << true;
    }
    void dropOpensTheFirstFile()
    {
        QFETCH(bool, onEditor);
        TestEnv env;
        QStringList files;
        for (const char *name : {"一.txt", "二.txt", "三.txt"}) {
            files << env.dir() + QLatin1Char('/') + QString::fromUtf8(name);
            QVERIFY(writeFile(files.last(), cp932(QStringLiteral(".LOG\n") + QString::fromUtf8(name))));
        }
        auto w = env.makeWindow();
        w->FDateTimeFormat = QStringLiteral("'now'");
        setRecentList(*w, {QStringLiteral("/r1.txt"), files[0], QStringLiteral("/r3.txt")});
        QWidget *target = onEditor ? w->Memo->viewport() : static_cast<QWidget *>(w.get());
        drop(target, files);
        QCOMPARE(w->Memo->text(), QStringLiteral(".LOG\r\n一.txt\r\nnow\r\n"));
        QCOMPARE(w->windowTitle(), QStringLiteral("一.txt - Zuvelo PGP"));
        QCOMPARE(w->SaveDialog.fileName, files[0]);
        QCOMPARE(recentList(*w), (QStringList{files[0], "/r1.txt", "/r3.txt", ""}));
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(env.dialogs.messages.size(), 0);
    }

    // A file copied from a Windows archive with a Shift-JIS name (0x95 0x5C is "表", not UTF-8): it opens
    // from the command line and from a drop, is saved back under the very same bytes, and comes back
    // from the stored recent list, while the settings file stays UTF-8.
    void shiftJisFileName_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("command line") << QStringLiteral("argument");
        QTest::newRow("drop") << QStringLiteral("drop");
    }
    void shiftJisFileName()
    {
        QFETCH(QString, how);
        TestEnv env;
        const QByteArray folder = QFile::encodeName(env.dir()) + "/sjis";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        const QByteArray onDisk = folder + "/\x95\x5C.txt";
        QVERIFY(writeRawFile(onDisk, cp932(QStringLiteral("内容"))));
        const QString name = fileNameFromNative(onDisk);
        // The temporary folder's own clean-up cannot name these files.
        const auto cleanUp = qScopeGuard([&] {
            for (const QByteArray &entry : rawEntries(folder))
                ::unlink((folder + '/' + entry).constData());
            ::rmdir(folder.constData());
        });

        std::unique_ptr<TfrmMain> w;
        if (how == QLatin1String("argument")) {
            w = env.makeWindow({name});
        } else {
            w = env.makeWindow();
            // As a file manager sends it: the name's bytes percent-encoded.
            dropUrls(w.get(), {QUrl::fromEncoded("file://" + onDisk.toPercentEncoding("/"))});
        }
        QCOMPARE(env.dialogs.messages.size(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("表.txt - Zuvelo PGP"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("内容"));
        QCOMPARE(nativeFileName(w->SaveDialog.fileName), onDisk);
        QCOMPARE(nativeFileName(w->recent(1)), onDisk);
        QCOMPARE(w->mnuFileRe[0]->text(), env.dir() + QStringLiteral("/sjis/表.txt"));

        type(*w, QStringLiteral("追加"));
        w->FileSave->trigger();
        QVERIFY(!w->Memo->modified());
        QCOMPARE(rawContentOf(onDisk), cp932(QStringLiteral("内容追加")));
        QCOMPARE(rawEntries(folder), QList<QByteArray>{"\x95\x5C.txt"});
        QVERIFY(w->close());

        const QByteArray stored = env.readSettings();
        QVERIFY(!stored.isEmpty());
        auto decoder = QStringDecoder(QStringDecoder::Utf8);
        const QString text = decoder(stored);
        QVERIFY2(!decoder.hasError(), "the settings file is not UTF-8");

        auto again = env.makeWindow();
        QCOMPARE(again->recent(1), name);
        again->FileMenuClick();
        QVERIFY(again->mnuFileRe[0]->isVisible());
        again->mnuFileRe[0]->trigger();
        QCOMPARE(env.dialogs.messages.size(), 0);
        QCOMPARE(again->windowTitle(), QStringLiteral("表.txt - Zuvelo PGP"));
        QCOMPARE(again->Memo->plainText(), QStringLiteral("内容追加"));
        QCOMPARE(nativeFileName(again->SaveDialog.fileName), onDisk);
    }
};

QTEST_MAIN(TestOpening)
#include "test_opening.moc"
