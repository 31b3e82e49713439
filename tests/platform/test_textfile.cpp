// Reading and saving document files: error texts, atomic replacement, the file's identity (mode, owner,
// symbolic and hard links), injected write faults and a folder the program may not write.

#include "platform/platformerror.h"
#include "platform/textfile.h"

#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <grp.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString openError(const QString &path) { return QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(path); }
QString createError(const QString &path, const QString &cause)
{
    return QStringLiteral("ﾌｧｲﾙ %1 を作成できません (%2)").arg(path, cause);
}
const QString kDiskFull = QStringLiteral("ディスクの空き容量が足りません");
const QString kIoError = QStringLiteral("ディスクの読み書きでエラーが起きました");
const QString kNoPermission = QStringLiteral("書き込む権限がありません");
const QString kReadOnlyFs = QStringLiteral("読み取り専用のファイルシステムです");

// The platform error text thrown by f, or "(no error)".
QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const zv::PlatformError &e) {
        return e.text();
    }
    return QStringLiteral("(no error)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray readLinkText(const QString &link)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(link).constData(), buffer, sizeof buffer);
    return n < 0 ? QByteArray("(no link)") : QByteArray(buffer, n);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class FaultyIo : public zv::FileIo {
public:
    enum Fault { PartialThenNoSpace, WriteEio, SecondWriteEio, FsyncEio, RenameEio, NoUnnamedFiles };
    explicit FaultyIo(Fault fault) : m_fault(fault) {}
    bool fired() const { return m_fired; }

    ssize_t write(int fd, const void *data, size_t size) override
    {
        ++m_writes;
        if (m_fault == PartialThenNoSpace && m_writes == 1)
            return FileIo::write(fd, data, std::max<size_t>(size / 2, 1));
        if ((m_fault == PartialThenNoSpace) || m_fault == WriteEio || (m_fault == SecondWriteEio && m_writes >= 2))
            return fail(m_fault == PartialThenNoSpace ? ENOSPC : EIO);
        return FileIo::write(fd, data, size);
    }
    int fsync(int fd) override { return m_fault == FsyncEio ? fail(EIO) : FileIo::fsync(fd); }
    int rename(const char *from, const char *to) override
    {
        return m_fault == RenameEio ? fail(EIO) : FileIo::rename(from, to);
    }
    // A file system without unnamed files, as some network and FAT file systems are.
    int openUnnamed(const char *dir, mode_t mode) override
    {
        return m_fault == NoUnnamedFiles ? fail(EOPNOTSUPP) : FileIo::openUnnamed(dir, mode);
    }

private:
    int fail(int error)
    {
        m_fired = true;
        errno = error;
        return -1;
    }
    Fault m_fault;
    int m_writes = 0;
    bool m_fired = false;
};

struct FileIoScope {
    explicit FileIoScope(zv::FileIo *io) { zv::setFileIo(io); }
    ~FileIoScope() { zv::setFileIo(nullptr); }
};

struct UmaskScope {
    explicit UmaskScope(mode_t mask) : old(::umask(mask)) {}
    ~UmaskScope() { ::umask(old); }
    mode_t old;
};

// Runs inside a private mount namespace: the folder ro/ becomes a read-only mount and ro/writable.txt a
// writable mount of rw/writable.txt; each save's outcome is printed for the parent test.
int readOnlyFolderChild(const QByteArray &base)
{
    const QByteArray ro = base + "/ro";
    struct statvfs vfs {};
    if (::statvfs(ro.constData(), &vfs) != 0)
        return 3;
    unsigned long kept = 0; // flags a remount inside a user namespace must keep
    if (vfs.f_flag & ST_NOSUID)
        kept |= MS_NOSUID;
    if (vfs.f_flag & ST_NODEV)
        kept |= MS_NODEV;
    if (vfs.f_flag & ST_NOEXEC)
        kept |= MS_NOEXEC;
    if (::mount(ro.constData(), ro.constData(), nullptr, MS_BIND, nullptr) != 0
        || ::mount(nullptr, ro.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | kept, nullptr) != 0
        || ::mount((base + "/rw/writable.txt").constData(), (ro + "/writable.txt").constData(), nullptr, MS_BIND,
                   nullptr) != 0) {
        std::perror("mount");
        return 3;
    }
    std::printf("ready\n");
    for (const char *name : {"writable.txt", "locked.txt"}) {
        const QString path = QString::fromUtf8(ro + '/' + name);
        const QString error = errorOf([&] { zv::saveDocumentFile(path, "new content\r\n"); });
        std::printf("%s: %s\n", name, error.toUtf8().constData());
    }
    std::fflush(stdout);
    return 0;
}

// Runs as a user who may write locked/writable.txt but neither the folder locked/ nor
// locked/readonly.txt; each save's outcome is printed for the parent test.
int otherUserChild(const QByteArray &base)
{
    for (const char *name : {"writable.txt", "readonly.txt"}) {
        const QString path = QString::fromUtf8(base + "/locked/" + name);
        const QString error = errorOf([&] { zv::saveDocumentFile(path, "new content\r\n"); });
        std::printf("%s: %s\n", name, error.toUtf8().constData());
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void readErrors_data();
    void readErrors();
    void readsDocument();
    void saveErrors_data();
    void saveErrors();
    void saveReplacesAtomically_data();
    void saveReplacesAtomically();
    void saveCreatesNewFile();
    void ownerKept();
    void faultsLeaveOldFile_data();
    void faultsLeaveOldFile();
    void symlinkTargetKept_data();
    void symlinkTargetKept();
    void hardLinksShareNewContent();
    void staleTemporaries_data();
    void staleTemporaries();
    void attributesAndAclKept_data();
    void attributesAndAclKept();
    void readOnlyFolder();
    void folderAndFileOfAnotherUser();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_state; // the user's state folder, for the records of in-place rewrites
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestTextFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_state = std::make_unique<QTemporaryDir>();
    QVERIFY(m_state->isValid());
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
}

void TestTextFile::readErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing file") << QStringLiteral("missing.txt");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("pipe") << QStringLiteral("pipe");
    QTest::newRow("empty name") << QString();
}

void TestTextFile::readErrors()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))).constData(), 0600), 0);
    const QString p = name.isEmpty() ? name : path(name);
    QCOMPARE(errorOf([&] { zv::readDocumentFile(p); }), openError(p));
}

void TestTextFile::readsDocument()
{
    writeFile(path(QStringLiteral("doc.txt")), "a\n\x82\xA0\x80");
    const zv::DecodedText d = zv::readDocumentFile(path(QStringLiteral("doc.txt")));
    QCOMPARE(d.text, QString::fromUtf16(u"a\nあ") + zv::opaqueByteChar(0x80));
    QCOMPARE(d.lineBreaks, zv::LineBreakStyle::Lf);
}

void TestTextFile::saveErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing folder") << QStringLiteral("nowhere/doc.txt") << QStringLiteral("保存先のフォルダーがありません");
    QTest::newRow("a file as folder") << QStringLiteral("pipe/doc.txt") << QStringLiteral("保存先のフォルダーがありません");
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("同じ名前のフォルダーがあります");
    QTest::newRow("a pipe") << QStringLiteral("pipe") << QStringLiteral("通常のファイルではありません");
    QTest::newRow("a link cycle") << QStringLiteral("loop") << QStringLiteral("シンボリックリンクが循環しています");
}

void TestTextFile::saveErrors()
{
    QFETCH(QString, name);
    QFETCH(QString, cause);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))).constData(), 0600), 0);
    QCOMPARE(::symlink("loop", QFile::encodeName(path(QStringLiteral("loop"))).constData()), 0);
    QCOMPARE(errorOf([&] { zv::saveDocumentFile(path(name), "text"); }), createError(path(name), cause));
    QCOMPARE(entries(m_dir->path()),
             QStringList({QStringLiteral("folder"), QStringLiteral("loop"), QStringLiteral("pipe")}));
}

void TestTextFile::saveReplacesAtomically_data()
{
    QTest::addColumn<uint>("mode");
    QTest::newRow("0600") << 0600u;
    QTest::newRow("0644") << 0644u;
    QTest::newRow("0751") << 0751u;
}

void TestTextFile::saveReplacesAtomically()
{
    QFETCH(uint, mode);
    const UmaskScope mask(077); // the new file gets the old mode, not what the umask allows
    const QString doc = path(QStringLiteral("doc.txt"));
    writeFile(doc, "old content, longer than the new one\r\n");
    QCOMPARE(::chmod(QFile::encodeName(doc).constData(), mode), 0);
    const ino_t oldInode = statOf(doc).st_ino;

    zv::saveDocumentFile(doc, "new\r\n");

    QCOMPARE(contentOf(doc), QByteArray("new\r\n"));
    const struct stat st = statOf(doc);
    QVERIFY(st.st_ino != oldInode); // a new file renamed into place
    QCOMPARE(uint(st.st_mode & 07777), mode);
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("doc.txt")});
}

void TestTextFile::saveCreatesNewFile()
{
    const UmaskScope mask(022);
    const QString doc = path(QStringLiteral("新規.txt"));
    zv::saveDocumentFile(doc, QByteArray("\x82\xA0\0", 3));
    QCOMPARE(contentOf(doc), QByteArray("\x82\xA0\0", 3));
    QCOMPARE(uint(statOf(doc).st_mode & 07777), 0644u);
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("新規.txt")});
}

void TestTextFile::ownerKept()
{
    if (::geteuid() != 0)
        QSKIP("only the superuser can give a file another owner");
    const QString doc = path(QStringLiteral("doc.txt"));
    writeFile(doc, "old");
    QCOMPARE(::chown(QFile::encodeName(doc).constData(), 4321, 4322), 0);
    zv::saveDocumentFile(doc, "new");
    QCOMPARE(statOf(doc).st_uid, uid_t(4321));
    QCOMPARE(statOf(doc).st_gid, gid_t(4322));
}

void TestTextFile::faultsLeaveOldFile_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("hardLinked");
    QTest::addColumn<QString>("cause");
    QTest::newRow("partial write, then disk full") << int(FaultyIo::PartialThenNoSpace) << false << kDiskFull;
    QTest::newRow("EIO on write") << int(FaultyIo::WriteEio) << false << kIoError;
    QTest::newRow("fsync fails") << int(FaultyIo::FsyncEio) << false << kIoError;
    QTest::newRow("rename fails") << int(FaultyIo::RenameEio) << false << kIoError;
    // Hard-linked files are rewritten in place: the growth is written first, then the old part.
    QTest::newRow("in place: partial write, then disk full") << int(FaultyIo::PartialThenNoSpace) << true << kDiskFull;
    QTest::newRow("in place: EIO on the growth") << int(FaultyIo::WriteEio) << true << kIoError;
    QTest::newRow("in place: EIO on the old part") << int(FaultyIo::SecondWriteEio) << true << kIoError;
    QTest::newRow("in place: fsync fails") << int(FaultyIo::FsyncEio) << true << kIoError;
}

void TestTextFile::faultsLeaveOldFile()
{
    QFETCH(int, fault);
    QFETCH(bool, hardLinked);
    QFETCH(QString, cause);
    const QString doc = path(QStringLiteral("doc.txt"));
    const QByteArray old("old content\r\nsecond line\r\n");
    writeFile(doc, old);
    QStringList expected{QStringLiteral("doc.txt")};
    if (hardLinked) {
        QCOMPARE(::link(QFile::encodeName(doc).constData(), QFile::encodeName(path(QStringLiteral("link.txt"))).constData()), 0);
        expected.append(QStringLiteral("link.txt"));
    }
    const ino_t inode = statOf(doc).st_ino;
    const QByteArray replacement = QByteArray("\x93\xFA\x96\x7B\x8C\xEA\r\n").repeated(600);

    FaultyIo io(static_cast<FaultyIo::Fault>(fault));
    {
        const FileIoScope scope(&io);
        QCOMPARE(errorOf([&] { zv::saveDocumentFile(doc, replacement); }), createError(doc, cause));
    }
    QVERIFY(io.fired());
    QCOMPARE(contentOf(doc), old);
    QCOMPARE(statOf(doc).st_ino, inode);
    QCOMPARE(entries(m_dir->path()), expected);
    QCOMPARE(entries(zv::unfinishedWritesFolder()), QStringList()); // an undone rewrite keeps no record

    zv::saveDocumentFile(doc, replacement); // without the fault the same save goes through
    QCOMPARE(contentOf(doc), replacement);
}

void TestTextFile::symlinkTargetKept_data()
{
    QTest::addColumn<QString>("linkText"); // relative to the link's folder, or absolute with "%1" for the base
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("relative link") << QStringLiteral("../store/doc.txt") << true;
    QTest::newRow("absolute link") << QStringLiteral("%1/store/doc.txt") << true;
    QTest::newRow("link to a link") << QStringLiteral("../store/link2.txt") << true;
    QTest::newRow("dangling link") << QStringLiteral("../store/doc.txt") << false;
}

void TestTextFile::symlinkTargetKept()
{
    QFETCH(QString, linkText);
    QFETCH(bool, targetExists);
    QDir base(m_dir->path());
    QVERIFY(base.mkdir(QStringLiteral("links")) && base.mkdir(QStringLiteral("store")));
    const QString target = path(QStringLiteral("store/doc.txt"));
    if (targetExists) {
        writeFile(target, "old");
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0604), 0);
    }
    QCOMPARE(::symlink("doc.txt", QFile::encodeName(path(QStringLiteral("store/link2.txt"))).constData()), 0);
    const QByteArray linkBytes = QFile::encodeName(linkText.contains(u'%') ? linkText.arg(m_dir->path()) : linkText);
    const QString link = path(QStringLiteral("links/doc.txt"));
    QCOMPARE(::symlink(linkBytes.constData(), QFile::encodeName(link).constData()), 0);

    zv::saveDocumentFile(link, "new");

    QVERIFY(S_ISLNK(statOf(link).st_mode));
    QCOMPARE(readLinkText(link), linkBytes);
    QCOMPARE(readLinkText(path(QStringLiteral("store/link2.txt"))), QByteArray("doc.txt"));
    QCOMPARE(contentOf(target), QByteArray("new"));
    QVERIFY(S_ISREG(statOf(target).st_mode));
    if (targetExists)
        QCOMPARE(uint(statOf(target).st_mode & 07777), 0604u);
    QCOMPARE(entries(path(QStringLiteral("links"))), QStringList{QStringLiteral("doc.txt")});
    QCOMPARE(entries(path(QStringLiteral("store"))), QStringList({QStringLiteral("doc.txt"), QStringLiteral("link2.txt")}));
}

void TestTextFile::hardLinksShareNewContent()
{
    const QString doc = path(QStringLiteral("doc.txt"));
    const QString other = path(QStringLiteral("other.txt"));
    writeFile(doc, "old content that is longer than the new one");
    QCOMPARE(::link(QFile::encodeName(doc).constData(), QFile::encodeName(other).constData()), 0);
    const ino_t inode = statOf(doc).st_ino;

    zv::saveDocumentFile(doc, "new");

    QCOMPARE(contentOf(other), QByteArray("new"));
    QCOMPARE(statOf(doc).st_ino, inode);
    QCOMPARE(statOf(doc).st_nlink, nlink_t(2));
    QCOMPARE(entries(m_dir->path()), QStringList({QStringLiteral("doc.txt"), QStringLiteral("other.txt")}));
}

// A save killed after its temporary file got a name leaves that file; the next save to the folder removes
// it once no writer holds it locked, and never touches another user's files.
void TestTextFile::staleTemporaries_data()
{
    QTest::addColumn<QString>("whose");
    QTest::addColumn<bool>("unnamed"); // the saving writer's own temporary file
    QTest::addColumn<bool>("removed");
    for (const bool unnamed : {true, false}) {
        const char *how = unnamed ? "unnamed" : "named";
        QTest::addRow("a dead writer's, %s", how) << QStringLiteral("dead") << unnamed << true;
        QTest::addRow("a running save's, %s", how) << QStringLiteral("running") << unnamed << false;
        QTest::addRow("another user's, %s", how) << QStringLiteral("other") << unnamed << false;
    }
}

void TestTextFile::staleTemporaries()
{
    QFETCH(QString, whose);
    QFETCH(bool, unnamed);
    QFETCH(bool, removed);
    if (whose == QLatin1String("other") && ::geteuid() != 0)
        QSKIP("only the superuser can make a file of another user");
    const QString doc = path(QStringLiteral("doc.txt"));
    const QString stale = path(QStringLiteral(".zvsave-left.tmp"));
    writeFile(doc, "old");
    writeFile(stale, "a whole copy of an older text");
    if (whose == QLatin1String("other"))
        QCOMPARE(::chown(QFile::encodeName(stale).constData(), 65534, 65534), 0);
    QFile held(stale); // a save still running holds its file locked
    if (whose == QLatin1String("running")) {
        QVERIFY(held.open(QIODevice::ReadOnly));
        QCOMPARE(::flock(held.handle(), LOCK_EX), 0);
    }
    const ino_t inode = statOf(doc).st_ino;

    FaultyIo io(unnamed ? FaultyIo::RenameEio : FaultyIo::NoUnnamedFiles);
    {
        const FileIoScope scope(unnamed ? nullptr : &io);
        zv::saveDocumentFile(doc, "new");
    }
    QCOMPARE(contentOf(doc), QByteArray("new"));
    QVERIFY(statOf(doc).st_ino != inode);
    QStringList expected{QStringLiteral(".zvsave-left.tmp"), QStringLiteral("doc.txt")};
    if (removed)
        expected.removeFirst();
    QCOMPARE(entries(m_dir->path()), expected);
}

// Extended attributes and ACLs are the new file's too; a folder's default ACL, which a new file would
// inherit, does not widen what the old file allowed; with an ACL the group bits stay its mask.
void TestTextFile::attributesAndAclKept_data()
{
    QTest::addColumn<QStringList>("onFile");   // setfacl or setfattr arguments for the file
    QTest::addColumn<QStringList>("onFolder"); // setfacl arguments for the folder
    QTest::addColumn<uint>("mode");
    QTest::newRow("user attribute") << QStringList{QStringLiteral("setfattr"), QStringLiteral("-n"), QStringLiteral("user.note"),
                                                   QStringLiteral("-v"), QStringLiteral("memo")}
                                    << QStringList() << 0640u;
    QTest::newRow("ACL with a mask") << QStringList{QStringLiteral("setfacl"), QStringLiteral("-m"),
                                                    QStringLiteral("u:65534:rw-,g::r--,m::rw-")}
                                     << QStringList() << 0660u;
    QTest::newRow("ACL with a narrow mask") << QStringList{QStringLiteral("setfacl"), QStringLiteral("-m"),
                                                           QStringLiteral("u:65534:rwx,g::rw-,m::r--")}
                                            << QStringList() << 0640u;
    QTest::newRow("folder's default ACL") << QStringList()
                                          << QStringList{QStringLiteral("-d"), QStringLiteral("-m"),
                                                         QStringLiteral("u:65534:rwx,g::rwx,o::rwx")}
                                          << 0600u;
}

void TestTextFile::attributesAndAclKept()
{
    QFETCH(QStringList, onFile);
    QFETCH(QStringList, onFolder);
    QFETCH(uint, mode);
    const QString getfacl = QStandardPaths::findExecutable(QStringLiteral("getfacl"));
    const QString getfattr = QStandardPaths::findExecutable(QStringLiteral("getfattr"));
    if (getfacl.isEmpty() || getfattr.isEmpty())
        QSKIP("the acl and attr tools are not installed (scripts/install-deps.sh installs them)");
    auto run = [](const QString &program, const QStringList &args) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(20000);
        return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray("(failed) ") + p.readAllStandardError();
    };
    const QString folder = path(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(folder));
    const QString doc = folder + QStringLiteral("/doc.txt");
    writeFile(doc, "old");
    QCOMPARE(::chmod(QFile::encodeName(doc).constData(), 0600), 0);
    if (!onFile.isEmpty()) {
        const QByteArray out = run(onFile.first(), onFile.mid(1) << doc);
        if (out.startsWith("(failed)"))
            QSKIP(qPrintable(QStringLiteral("this file system takes no ACL or attribute: ") + QString::fromUtf8(out)));
    }
    if (onFile.isEmpty() || onFile.first() != QLatin1String("setfacl"))
        QCOMPARE(::chmod(QFile::encodeName(doc).constData(), mode), 0);
    if (!onFolder.isEmpty())
        QCOMPARE(run(QStringLiteral("setfacl"), onFolder << folder).left(8), QByteArray());
    const QStringList aclArgs{QStringLiteral("--absolute-names"), doc};
    const QStringList attrArgs{QStringLiteral("--absolute-names"), QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("-"), doc};
    const QByteArray acl = run(getfacl, aclArgs);
    const QByteArray attributes = run(getfattr, attrArgs);
    const ino_t inode = statOf(doc).st_ino;

    zv::saveDocumentFile(doc, "new");

    QCOMPARE(contentOf(doc), QByteArray("new"));
    QVERIFY(statOf(doc).st_ino != inode); // a new file, given all of the old one
    QCOMPARE(run(getfacl, aclArgs), acl);
    QCOMPARE(run(getfattr, attrArgs), attributes);
    QCOMPARE(uint(statOf(doc).st_mode & 07777), mode);
    QCOMPARE(entries(folder), QStringList{QStringLiteral("doc.txt")});
}

// A folder the program may not write: a writable file in it is rewritten in place, a read-only one is
// refused with the error. The superuser may write any folder, so the folder is made a read-only mount in
// a private mount namespace (util-linux unshare -rm); without one the test is skipped.
void TestTextFile::readOnlyFolder()
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty())
        QSKIP("unshare (util-linux) is not installed");
    QDir base(m_dir->path());
    QVERIFY(base.mkdir(QStringLiteral("ro")) && base.mkdir(QStringLiteral("rw")) && base.mkdir(QStringLiteral("state")));
    writeFile(path(QStringLiteral("ro/writable.txt")), "mount point");
    writeFile(path(QStringLiteral("rw/writable.txt")), "old writable");
    writeFile(path(QStringLiteral("ro/locked.txt")), "old locked");

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
    child.setProcessEnvironment(env);
    child.start(unshare, {QStringLiteral("-rm"), QCoreApplication::applicationFilePath(),
                          QStringLiteral("--read-only-folder-child"), m_dir->path()});
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    if (!out.startsWith(QStringLiteral("ready\n")))
        QSKIP(qPrintable(QStringLiteral("no private mount namespace here: ") + QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(child.exitCode(), 0);

    const QString roPath = path(QStringLiteral("ro"));
    QCOMPARE(out, QStringLiteral("ready\nwritable.txt: (no error)\nlocked.txt: %1\n")
                      .arg(createError(roPath + QStringLiteral("/locked.txt"), kReadOnlyFs)));
    QCOMPARE(contentOf(path(QStringLiteral("rw/writable.txt"))), QByteArray("new content\r\n"));
    QCOMPARE(contentOf(path(QStringLiteral("ro/locked.txt"))), QByteArray("old locked"));
    QCOMPARE(entries(path(QStringLiteral("ro"))), QStringList({QStringLiteral("locked.txt"), QStringLiteral("writable.txt")}));
    QCOMPARE(entries(path(QStringLiteral("rw"))), QStringList{QStringLiteral("writable.txt")});
    // The in-place rewrite's record was made and is gone.
    QVERIFY(QFileInfo(path(QStringLiteral("state/zuvelo-pgp/unfinished"))).isDir());
    QCOMPARE(entries(path(QStringLiteral("state/zuvelo-pgp/unfinished"))), QStringList());
}

// Permission bits, as an ordinary user sees them: a writable file in a folder the user may not write is
// rewritten in place, a read-only file is refused. The superuser runs the saves as "nobody".
void TestTextFile::folderAndFileOfAnotherUser()
{
    const bool root = ::geteuid() == 0;
    const uid_t user = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    QDir base(m_dir->path());
    QVERIFY(base.mkdir(QStringLiteral("locked")) && base.mkdir(QStringLiteral("state")));
    const QString writable = path(QStringLiteral("locked/writable.txt"));
    const QString readOnly = path(QStringLiteral("locked/readonly.txt"));
    writeFile(writable, "old writable, longer than the new content");
    writeFile(readOnly, "old read-only");
    const ino_t inode = statOf(writable).st_ino;
    for (const auto &[name, mode] : {std::pair{writable, 0666}, std::pair{readOnly, 0444},
                                     std::pair{path(QStringLiteral("locked")), 0555},
                                     std::pair{path(QStringLiteral("state")), 0700}, std::pair{m_dir->path(), 0755}}) {
        const QByteArray native = QFile::encodeName(name);
        QCOMPARE(::chown(native.constData(), user, group), 0);
        QCOMPARE(::chmod(native.constData(), mode_t(mode)), 0);
    }

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), path(QStringLiteral("state")));
    child.setProcessEnvironment(env);
    if (root) {
        child.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    }
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--other-user-child"), m_dir->path()});
    QVERIFY(child.waitForFinished(60000));
    if (child.exitCode() == 99 || child.exitStatus() != QProcess::NormalExit)
        QSKIP("cannot run the saves as another user");
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
             QStringLiteral("writable.txt: (no error)\nreadonly.txt: %1\n").arg(createError(readOnly, kNoPermission)));
    QCOMPARE(contentOf(writable), QByteArray("new content\r\n"));
    QCOMPARE(statOf(writable).st_ino, inode);
    QCOMPARE(uint(statOf(writable).st_mode & 07777), 0666u);
    QCOMPARE(contentOf(readOnly), QByteArray("old read-only"));
    QCOMPARE(entries(path(QStringLiteral("locked"))), QStringList({QStringLiteral("readonly.txt"), QStringLiteral("writable.txt")}));
    // The in-place rewrite's record was made and is gone.
    QVERIFY(QFileInfo(path(QStringLiteral("state/zuvelo-pgp/unfinished"))).isDir());
    QCOMPARE(entries(path(QStringLiteral("state/zuvelo-pgp/unfinished"))), QStringList());
    QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("locked"))).constData(), 0755), 0); // for the cleanup
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--other-user-child") == 0)
        return otherUserChild(argv[2]);
    if (argc == 3 && qstrcmp(argv[1], "--read-only-folder-child") == 0)
        return readOnlyFolderChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestTextFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_textfile.moc"
