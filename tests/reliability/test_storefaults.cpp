// The settings store when the disk fails it: a full disk, a folder that cannot be written, the file
// replaced by a folder, a copy of the program killed while it writes. In every case the store reports its
// error, the file that was there stays whole, and nothing half-written is left. Values that are awkward to
// write (NULs, halves of surrogate pairs, hand-edited continuation lines) come back as they were.
//
// Full disks and read-only folders are made in a private mount namespace (unshare -rm), so that neither
// root's rights nor the machine's real disks play a part. The part that runs there is this program itself,
// started with --child: it does what the test asks and prints what it saw; the test checks it.

#include "platform/platformerror.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace zv;

namespace {

const QString kFolder = QStringLiteral("zuvelo-pgp");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// ---- the child: runs inside the namespace -------------------------------------------------------------

// One reported fact: "name<TAB>base64 of value".
void report(const char *name, const QByteArray &value)
{
    std::printf("%s\t%s\n", name, value.toBase64().constData());
    std::fflush(stdout);
}
void report(const char *name, const QString &value) { report(name, value.toUtf8()); }

// Runs f and reports the store error it raised (or "no error").
template <typename F>
void reportError(const char *name, F f)
{
    try {
        f();
        report(name, QStringLiteral("no error"));
    } catch (const PlatformError &e) {
        report(name, e.text());
    }
}

// A settings file of more than two pages, so that rewriting it needs more room than one page.
void writeBigFile()
{
    SettingsStore store;
    for (int i = 0; i < 60; ++i)
        store.writeString(kOtherData, QStringLiteral("Big%1").arg(i), QString(100, QChar(u'a' + i % 26)));
    store.writeString(kOtherData, QStringLiteral("FindText"), QStringLiteral("古い値"));
}

// Fills the file system of dir, then frees one page: there is room to start a file, not to finish it.
bool fillDisk(const QString &dir)
{
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const QByteArray block(4096, 'x');
    off_t written = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n <= 0)
            break;
        written += n;
    }
    const bool ok = written > 4096 && ::ftruncate(fd, (written / 4096 - 1) * 4096) == 0;
    ::close(fd);
    return ok;
}

int childFullDisk(const QString &config)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString folder = config + QLatin1Char('/') + kFolder;
    writeBigFile();
    const QString file = SettingsStore::filePath();
    report("before", readAll(file));
    if (!fillDisk(config))
        return 3;
    struct statvfs vfs {};
    ::statvfs(QFile::encodeName(config).constData(), &vfs);
    report("free", QByteArray::number(qulonglong(vfs.f_bavail) * vfs.f_frsize));
    {
        SettingsStore store; // opening works on a full disk: the key is there
        report("readWhileFull", store.readString(kOtherData, QStringLiteral("FindText"), QString()));
        reportError("writeValue", [&] {
            store.writeString(kOtherData, QStringLiteral("FindText"), QString(3000, QChar(0x65B0)));
        });
        reportError("writeSection", [&] { store.writeInteger(QStringLiteral("New Section"), QStringLiteral("X"), 1); });
    }
    report("after", readAll(file));
    report("listing", entries(folder).join(u'\n'));
    report("notices", SettingsStore::takeNotices().join(u'\n'));
    // Room again: the store works as before.
    QFile::remove(config + QStringLiteral("/filler"));
    reportError("writeWithRoom", [] {
        SettingsStore store;
        store.writeString(kOtherData, QStringLiteral("FindText"), QStringLiteral("新しい値"));
    });
    report("recovered", SettingsStore().readString(kOtherData, QStringLiteral("FindText"), QString()));
    return 0;
}

int childReadOnly(const QString &config)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    {
        SettingsStore store;
        report("read", store.readString(kOtherData, QStringLiteral("FindText"), QStringLiteral("(default)")));
        reportError("writeValue", [&] { store.writeString(kOtherData, QStringLiteral("FindText"), QStringLiteral("x")); });
        reportError("writeSection", [&] { store.writeInteger(QStringLiteral("New Section"), QStringLiteral("X"), 1); });
    }
    report("notices", SettingsStore::takeNotices().join(u'\n'));
    return 0;
}

// Writes for ever, one counter and one text that grows with it, as fast as it can.
int childWriteLoop(const QString &config)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    for (int i = 0;; ++i) {
        SettingsStore store;
        store.writeInteger(kOtherData, QStringLiteral("Counter"), i);
        store.writeString(kFormData, QStringLiteral("Text"), QStringLiteral("値%1;").arg(i).repeated(1 + i % 50));
        if (i == 0)
            report("started", QByteArray("1"));
    }
}

int runChild(const QStringList &args)
{
    if (args.size() != 2)
        return 2;
    if (args[0] == QLatin1String("full-disk"))
        return childFullDisk(args[1]);
    if (args[0] == QLatin1String("read-only"))
        return childReadOnly(args[1]);
    if (args[0] == QLatin1String("write-loop"))
        return childWriteLoop(args[1]);
    return 2;
}

// ---- the parent --------------------------------------------------------------------------------------

struct ChildRun {
    int exitCode = -1;
    QMap<QByteArray, QByteArray> facts;
    QByteArray err;
};

// Runs this program as a child in a private mount namespace; script prepares the mounts ($1 is dir) and
// then runs the child ("$2" --child ...). A namespace that cannot be made skips the test.
ChildRun runInNamespace(const QString &script, const QString &dir, const QStringList &childArgs)
{
    ChildRun run;
    QProcess p;
    QStringList args{QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                     script + QStringLiteral(" || exit 77; shift; exec \"$@\""), QStringLiteral("sh"), dir,
                     QCoreApplication::applicationFilePath(), QStringLiteral("--child")};
    p.start(QStringLiteral("unshare"), args + childArgs);
    if (!p.waitForFinished(60000))
        p.kill();
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.err = p.readAllStandardError();
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0)
            run.facts.insert(line.left(tab), QByteArray::fromBase64(line.mid(tab + 1)));
    }
    return run;
}

QString fact(const ChildRun &run, const char *name) { return QString::fromUtf8(run.facts.value(name)); }

} // namespace

class TestStoreFaults : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString folder() const { return config() + QLatin1Char('/') + kFolder; }
    QString dotfiles() const { return m_dir.path() + QStringLiteral("/dotfiles"); }
    QString state() const { return m_dir.path() + QStringLiteral("/state"); }
    QString unfinished() const { return state() + QStringLiteral("/zuvelo-pgp/unfinished"); }

    // Makes the settings file a link (symbolic or hard) to a file in dotfiles/, as a dotfiles set-up does.
    QString linkSettingsFile(bool hardLink)
    {
        const QString real = dotfiles() + QStringLiteral("/registry.reg");
        if (!QDir().mkpath(folder()) || !QDir().mkpath(dotfiles()))
            return {};
        QFile f(real);
        if (!f.open(QIODevice::WriteOnly) || f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo]\n") <= 0)
            return {};
        f.close();
        const QByteArray from = QFile::encodeName(real), to = QFile::encodeName(SettingsStore::filePath());
        if ((hardLink ? ::link(from.constData(), to.constData()) : ::symlink(from.constData(), to.constData())) != 0)
            return {};
        return real;
    }

    // Skips when this machine gives no private mount namespaces (a container without user namespaces).
    void requireNamespaces()
    {
        QProcess p;
        p.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("true")});
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            QSKIP(qPrintable(QStringLiteral("no private mount namespace here (unshare -rm: %1); the full-disk and "
                                            "read-only cases need one")
                                 .arg(QString::fromLocal8Bit(p.readAllStandardError()).trimmed() +
                                      p.errorString())));
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(config()).removeRecursively();
        QDir(dotfiles()).removeRecursively();
        QDir(state()).removeRecursively();
        QVERIFY(QDir().mkpath(config()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(state()));
        SettingsStore::takeNotices();
    }

    void fullDisk()
    {
        requireNamespaces();
        const ChildRun run = runInNamespace(QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$1\""), config(),
                                            {QStringLiteral("full-disk"), config()});
        if (run.exitCode == 77)
            QSKIP(qPrintable(QStringLiteral("a tmpfs cannot be mounted in the namespace: ") + run.err));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(run.facts.value("free").toLongLong() < 8192);
        const QByteArray before = run.facts.value("before");
        QVERIFY(before.size() > 4096 && before.contains("古い値"));
        QCOMPARE(fact(run, "readWhileFull"), QStringLiteral("古い値"));
        QCOMPARE(fact(run, "writeValue"), QStringLiteral("'FindText' の設定に失敗しました"));
        QCOMPARE(fact(run, "writeSection"), QStringLiteral("ｷｰ New Section の作成に失敗しました"));
        QCOMPARE(run.facts.value("after"), before); // the old file, whole
        QCOMPARE(fact(run, "listing"), QStringLiteral("registry.reg\nregistry.reg.lock")); // no temporary left
        QCOMPARE(fact(run, "notices"), QString());
        QCOMPARE(fact(run, "writeWithRoom"), QStringLiteral("no error"));
        QCOMPARE(fact(run, "recovered"), QStringLiteral("新しい値"));
    }

    void readOnlyFolder_data()
    {
        QTest::addColumn<bool>("fileThere");
        QTest::newRow("file there") << true;
        QTest::newRow("no file yet") << false;
    }
    void readOnlyFolder()
    {
        QFETCH(bool, fileThere);
        requireNamespaces();
        QVERIFY(QDir().mkpath(folder()));
        QByteArray before;
        if (fileThere) {
            SettingsStore store;
            store.writeString(kOtherData, QStringLiteral("FindText"), QStringLiteral("古い値"));
            before = readAll(SettingsStore::filePath());
            QVERIFY(!before.isEmpty());
        }
        const QStringList listed = entries(folder());
        const ChildRun run = runInNamespace(
            QStringLiteral("mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\""), folder(),
            {QStringLiteral("read-only"), config()});
        if (run.exitCode == 77)
            QSKIP(qPrintable(QStringLiteral("a read-only bind mount cannot be made in the namespace: ") + run.err));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        if (fileThere) {
            QCOMPARE(fact(run, "read"), QStringLiteral("古い値"));
            QCOMPARE(fact(run, "writeValue"), QStringLiteral("'FindText' の設定に失敗しました"));
            QCOMPARE(fact(run, "notices"), QString());
        } else {
            QCOMPARE(fact(run, "read"), QStringLiteral("(default)"));
            QCOMPARE(fact(run, "writeValue"), QStringLiteral("ｷｰ Other Data の作成に失敗しました"));
            QCOMPARE(fact(run, "notices"),
                     QStringLiteral("設定ファイル %1 を作成できません。設定は保存されません").arg(SettingsStore::filePath()));
        }
        QCOMPARE(fact(run, "writeSection"), QStringLiteral("ｷｰ New Section の作成に失敗しました"));
        QCOMPARE(readAll(SettingsStore::filePath()), before);
        QCOMPARE(entries(folder()), listed);
    }

    void fileReplacedByFolder()
    {
        const QString path = SettingsStore::filePath();
        QVERIFY(QDir().mkpath(path));
        QFile inside(path + QStringLiteral("/inside.txt"));
        QVERIFY(inside.open(QIODevice::WriteOnly) && inside.write("keep me") == 7);
        inside.close();
        {
            SettingsStore store;
            QCOMPARE(store.readInteger(kOtherData, QStringLiteral("TabWidth"), 6), 6);
            QCOMPARE(SettingsStore::takeNotices(),
                     QStringList{QStringLiteral("設定ファイル %1 を読み込めません。既定の設定を使います").arg(path)});
            try {
                store.writeInteger(kOtherData, QStringLiteral("TabWidth"), 4);
                QFAIL("writing over a folder raised no error");
            } catch (const PlatformError &e) {
                QCOMPARE(e.text(), QStringLiteral("ｷｰ Other Data の作成に失敗しました"));
            }
        }
        QVERIFY(!SettingsStore::readFile().has_value());
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(entries(path), QStringList{QStringLiteral("inside.txt")});
        QCOMPARE(readAll(path + QStringLiteral("/inside.txt")), QByteArray("keep me"));
        QCOMPARE(entries(folder()), (QStringList{QStringLiteral("registry.reg"), QStringLiteral("registry.reg.lock")}));
    }

    void awkwardValuesComeBackAsWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("NUL at the end") << QStringLiteral("ab") + QChar(0);
        QTest::newRow("only NULs") << QString(3, QChar(0));
        QTest::newRow("lone high surrogate") << QString(QChar(0xD800)) + QStringLiteral("x");
        QTest::newRow("lone low surrogate at the end") << QStringLiteral("x") + QChar(0xDC00);
        QTest::newRow("pair") << QStringLiteral("\U0001D11E 𠮷");
        QTest::newRow("breaks, quotes, backslashes") << QStringLiteral("行1\r\n\"q\" \\ C:\\dir\\");
    }
    void awkwardValuesComeBackAsWritten()
    {
        QFETCH(QString, value);
        SettingsStore().writeString(kOtherData, QStringLiteral("FindText"), value);
        QCOMPARE(SettingsStore().readString(kOtherData, QStringLiteral("FindText"), QString()), value);
        // A later write by another view keeps it as it is.
        SettingsStore().writeInteger(kOtherData, QStringLiteral("TabWidth"), 4);
        QCOMPARE(SettingsStore().readString(kOtherData, QStringLiteral("FindText"), QString()), value);
    }

    void handEditedFileSurvivesARewrite_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("raw"); // the value as it reads before and after
        QTest::newRow("continuation mark on the last line") << QByteArray("\"Bin\"=hex:00,01\\") << QStringLiteral("hex:00,01");
        QTest::newRow("continued over two lines") << QByteArray("\"Bin\"=hex:00,\\\n  01") << QStringLiteral("hex:00,01");
        QTest::newRow("number") << QByteArray("\"Bin\"=dword:0000000a") << QStringLiteral("dword:0000000a");
    }
    void handEditedFileSurvivesARewrite()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, raw);
        QVERIFY(QDir().mkpath(folder()));
        QFile f(SettingsStore::filePath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo]\n\n"
                "[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\Other Data]\n" + line);
        f.close();
        const QString key = QString::fromLatin1(SettingsStore::kKeyPath) + QStringLiteral("\\Other Data");
        for (int pass = 0; pass < 2; ++pass) {
            const auto file = SettingsStore::readFile();
            QVERIFY(file.has_value());
            const RegValue v = file->keys.value(key).value(QStringLiteral("Bin"));
            QVERIFY(!v.isString);
            QCOMPARE(v.data, raw);
            SettingsStore().writeInteger(kFormData, QStringLiteral("Left"), pass); // rewrites the whole file
        }
    }

    // A settings file that is a symbolic link is written through the link; one with a second hard link is
    // rewritten in place. Either way the link stays and the file it leads to holds the new value.
    void linkedSettingsFile_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::newRow("symbolic link") << false;
        QTest::newRow("hard link") << true;
    }
    void linkedSettingsFile()
    {
        QFETCH(bool, hardLink);
        const QString real = linkSettingsFile(hardLink);
        QVERIFY(!real.isEmpty());
        const QByteArray path = QFile::encodeName(SettingsStore::filePath());
        char target[4096];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);

        SettingsStore().writeString(kOtherData, QStringLiteral("FindText"), QStringLiteral("リンク先"));

        struct stat link {}, file {};
        QCOMPARE(::lstat(path.constData(), &link), 0);
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &file), 0);
        if (hardLink) {
            QCOMPARE(link.st_ino, file.st_ino);
            QCOMPARE(file.st_nlink, nlink_t(2));
        } else {
            QVERIFY(S_ISLNK(link.st_mode));
            QCOMPARE(::readlink(path.constData(), target, sizeof target), n);
        }
        QVERIFY(readAll(real).contains("リンク先"));
        QCOMPARE(SettingsStore().readString(kOtherData, QStringLiteral("FindText"), QString()), QStringLiteral("リンク先"));
        QCOMPARE(entries(folder()), (QStringList{QStringLiteral("registry.reg"), QStringLiteral("registry.reg.lock")}));
        QCOMPARE(entries(dotfiles()), QStringList{QStringLiteral("registry.reg")});
        QCOMPARE(entries(unfinished()), QStringList());
    }

    void killedWriterNeverTearsTheFile_data()
    {
        QTest::addColumn<bool>("hardLinked"); // rewritten in place: the next reading finishes a killed write
        QTest::newRow("plain file") << false;
        QTest::newRow("hard-linked file") << true;
    }
    void killedWriterNeverTearsTheFile()
    {
        // A copy killed at any moment of a write leaves the file as it was before or after that write,
        // and never its lock held.
        QFETCH(bool, hardLinked);
        if (hardLinked)
            QVERIFY(!linkSettingsFile(true).isEmpty());
        QRandomGenerator gen(7);
        for (int round = 0; round < 12; ++round) {
            QProcess p;
            p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), QStringLiteral("write-loop"), config()});
            QVERIFY(p.waitForStarted());
            QVERIFY(p.waitForReadyRead(30000)); // the first write is done
            QThread::msleep(gen.bounded(5, 120));
            ::kill(pid_t(p.processId()), SIGKILL);
            QVERIFY(p.waitForFinished(10000));

            const auto file = SettingsStore::readFile();
            QVERIFY2(file.has_value(), readAll(SettingsStore::filePath()).left(300).constData());
            SettingsStore store;
            QVERIFY(SettingsStore::takeNotices().isEmpty());
            const int counter = store.readInteger(kOtherData, QStringLiteral("Counter"), -1);
            QVERIFY(counter >= 0);
            const QString text = store.readString(kFormData, QStringLiteral("Text"), QString());
            // The text belongs to the counter's write or to the one before it.
            const bool matches = text == QStringLiteral("値%1;").arg(counter).repeated(1 + counter % 50) ||
                                 text == QStringLiteral("値%1;").arg(counter - 1).repeated(1 + (counter - 1) % 50);
            QVERIFY2(matches, qPrintable(QStringLiteral("counter %1, text %2").arg(counter).arg(text.left(40))));
            // The lock is free again: a write goes through at once.
            store.writeInteger(kOtherData, QStringLiteral("Counter"), 0);
        }
        // A killed write may leave its temporary file; the next write, under the lock, removes it.
        const QStringList left = entries(folder()).filter(QStringLiteral(".tmp"));
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
        QVERIFY2(entries(unfinished()).isEmpty(), qPrintable(entries(unfinished()).join(u' ')));
        if (hardLinked)
            QCOMPARE(readAll(dotfiles() + QStringLiteral("/registry.reg")), readAll(SettingsStore::filePath()));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && qstrcmp(argv[1], "--child") == 0)
        return runChild(app.arguments().mid(2));
    TestStoreFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_storefaults.moc"
