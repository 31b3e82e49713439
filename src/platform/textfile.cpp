#include "textfile.h"

#include "platformerror.h"
#include "filenames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zv {

ssize_t FileIo::write(int fd, const void *data, size_t size) { return ::write(fd, data, size); }
int FileIo::fsync(int fd) { return ::fsync(fd); }
int FileIo::rename(const char *from, const char *to) { return ::rename(from, to); }

namespace {

FileIo g_systemIo;
FileIo *g_io = &g_systemIo;

QString openErrorText(const QString &path) { return QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(path); }
QString createErrorText(const QString &path) { return QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(path); }

// Raised inside saving; turned into the one error text of the save at its end.
struct SaveFailed {};

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes and reports close()'s result (a delayed write error shows here on some file systems).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd;
};

// Reads from the current offset to the end of the file.
bool readToEnd(int fd, QByteArray &out, qsizetype sizeHint)
{
    out.clear();
    out.reserve(sizeHint + 65536); // room to see the end in the same pass
    for (;;) {
        if (out.capacity() - out.size() < 4096)
            out.reserve(out.size() + std::max<qsizetype>(out.size() / 2, 65536));
        const qsizetype room = out.capacity() - out.size();
        const qsizetype old = out.size();
        out.resize(old + room);
        const ssize_t n = ::read(fd, out.data() + old, size_t(room));
        out.resize(old + std::max<ssize_t>(n, 0));
        if (n == 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

// Writes all bytes through io, going on after short writes; false with errno set on failure.
bool writeAll(FileIo &io, int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = io.write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// The final target of a chain of symbolic links (the path itself when it is no link or does not exist).
QByteArray resolveLinks(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray link(st.st_size > 0 ? qsizetype(st.st_size) + 1 : 4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0 || n >= link.size())
            throw SaveFailed{};
        link.truncate(n);
        path = link.startsWith('/') ? link : directoryOf(path) + '/' + link;
    }
    throw SaveFailed{};
}

// Creates a new file exclusively in dir under a fresh hidden name.
int createUniqueFile(const QByteArray &dir, const char *prefix, mode_t mode, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = dir + '/' + prefix + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void syncDirectory(const QByteArray &dir)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Outcome of the atomic replacement when it cannot be used at all.
enum class Atomic { Done, UseInPlace };

Atomic replaceAtomically(const QByteArray &target, const struct stat *old, QByteArrayView bytes)
{
    const QByteArray dir = directoryOf(target);
    const mode_t mode = old ? (old->st_mode & 07777) : 0666;
    QByteArray tmpName;
    Fd fd(createUniqueFile(dir, ".zvsave-", mode, tmpName));
    if (!fd) {
        // A folder we may not write (or a read-only mount of it) with a writable file in it.
        if (old && (errno == EACCES || errno == EPERM || errno == EROFS))
            return Atomic::UseInPlace;
        throw SaveFailed{};
    }
    FileIo &io = *g_io;
    bool ok = true;
    if (old) {
        struct stat now;
        ok = ::fstat(fd.get(), &now) == 0;
        if (ok && (now.st_uid != old->st_uid || now.st_gid != old->st_gid))
            ok = ::fchown(fd.get(), old->st_uid, old->st_gid) == 0 || errno == EPERM;
        ok = ok && ::fchmod(fd.get(), mode) == 0; // after fchown, which clears set-id bits; also undoes umask
    }
    ok = ok && writeAll(io, fd.get(), bytes.data(), bytes.size());
    ok = ok && io.fsync(fd.get()) == 0;
    ok = ok && fd.close();
    bool busy = false;
    if (ok && io.rename(tmpName.constData(), target.constData()) != 0) {
        busy = errno == EBUSY && old; // the file is a mount point of its own
        ok = false;
    }
    if (!ok) {
        fd.reset();
        ::unlink(tmpName.constData());
        if (busy)
            return Atomic::UseInPlace;
        throw SaveFailed{};
    }
    syncDirectory(dir);
    return Atomic::Done;
}

bool pwriteAll(int fd, const char *data, qsizetype size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

// Writes a flushed copy of the old content beside the file, or in the user's cache folder; returns its
// name, empty when no copy could be made.
QByteArray writeBackup(const QByteArray &target, const QByteArray &content)
{
    QList<QByteArray> dirs{directoryOf(target)};
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty()) {
        const QString ours = cache + QStringLiteral("/zuvelo-pgp");
        QDir().mkpath(ours);
        QFile::setPermissions(ours, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        dirs.append(QFile::encodeName(ours));
    }
    for (const QByteArray &dir : dirs) {
        QByteArray name;
        Fd fd(createUniqueFile(dir, ".zvbackup-", 0600, name));
        if (!fd)
            continue;
        if (pwriteAll(fd.get(), content.constData(), content.size(), 0) && ::fsync(fd.get()) == 0 && fd.close())
            return name;
        fd.reset();
        ::unlink(name.constData());
    }
    return {};
}

// Rewrites the file's own content, for files whose identity a rename would break.
void rewriteInPlace(const QByteArray &target, QByteArrayView bytes)
{
    Fd fd(::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw SaveFailed{};
    QByteArray old;
    if (!readToEnd(fd.get(), old, qsizetype(st.st_size)))
        throw SaveFailed{};
    const QByteArray backup = writeBackup(target, old);
    if (backup.isEmpty())
        throw SaveFailed{};

    FileIo &io = *g_io;
    const qsizetype oldSize = old.size();
    const qsizetype newSize = bytes.size();
    bool ok = true;
    if (newSize > oldSize) {
        // The growth first: a full disk shows here, before any old byte is overwritten.
        ok = ::lseek(fd.get(), off_t(oldSize), SEEK_SET) == off_t(oldSize)
            && writeAll(io, fd.get(), bytes.data() + oldSize, newSize - oldSize);
    }
    ok = ok && ::lseek(fd.get(), 0, SEEK_SET) == 0
        && writeAll(io, fd.get(), bytes.data(), std::min(oldSize, newSize));
    ok = ok && (newSize >= oldSize || ::ftruncate(fd.get(), off_t(newSize)) == 0);
    ok = ok && io.fsync(fd.get()) == 0;
    if (ok) {
        fd.close();
        ::unlink(backup.constData());
        return;
    }
    const bool restored = pwriteAll(fd.get(), old.constData(), oldSize, 0)
        && ::ftruncate(fd.get(), off_t(oldSize)) == 0 && ::fsync(fd.get()) == 0;
    if (restored)
        ::unlink(backup.constData()); // otherwise the backup stays as the last whole copy
    throw SaveFailed{};
}

} // namespace

FileIo *setFileIo(FileIo *io)
{
    FileIo *previous = g_io == &g_systemIo ? nullptr : g_io;
    g_io = io ? io : &g_systemIo;
    return previous;
}

QByteArray readFileBytes(const QString &path)
{
    const QByteArray name = nativeFileName(path);
    Fd fd(name.isEmpty() ? -1 : ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw PlatformError(openErrorText(path));
    QByteArray bytes;
    try {
        if (!readToEnd(fd.get(), bytes, qsizetype(st.st_size)))
            throw PlatformError(openErrorText(path));
    } catch (const std::bad_alloc &) {
        throw PlatformError(openErrorText(path));
    }
    return bytes;
}

DecodedText readDocumentFile(const QString &path)
{
    const QByteArray bytes = readFileBytes(path);
    try {
        return decodeCp932(bytes);
    } catch (const std::bad_alloc &) {
        throw PlatformError(openErrorText(path));
    }
}

void saveDocumentFile(const QString &path, QByteArrayView bytes)
{
    try {
        const QByteArray name = nativeFileName(path);
        if (name.isEmpty())
            throw SaveFailed{};
        const QByteArray target = resolveLinks(name);
        struct stat st;
        const bool exists = ::stat(target.constData(), &st) == 0;
        if (!exists && errno != ENOENT)
            throw SaveFailed{};
        if (exists) {
            // A read-only file is not replaced, and anything but a regular file is not ours to replace.
            if (!S_ISREG(st.st_mode) || ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
                throw SaveFailed{};
        }
        if (exists && st.st_nlink > 1)
            rewriteInPlace(target, bytes);
        else if (replaceAtomically(target, exists ? &st : nullptr, bytes) == Atomic::UseInPlace)
            rewriteInPlace(target, bytes);
    } catch (const SaveFailed &) {
        throw PlatformError(createErrorText(path));
    } catch (const std::bad_alloc &) {
        throw PlatformError(createErrorText(path));
    }
}

} // namespace zv
