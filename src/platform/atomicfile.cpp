#include "atomicfile.h"

#include "filenames.h"
#include "posixfile.h"

#include <QDir>
#include <QList>
#include <QRandomGenerator>
#include <QtEndian>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <utility>
#include <sys/file.h>
#include <sys/xattr.h>

namespace zv {

ssize_t FileIo::write(int fd, const void *data, size_t size) { return ::write(fd, data, size); }
int FileIo::fsync(int fd) { return ::fsync(fd); }
int FileIo::rename(const char *from, const char *to) { return ::rename(from, to); }
int FileIo::openUnnamed(const char *dir, mode_t mode) { return ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, mode); }

namespace {

FileIo g_systemIo;
FileIo *g_io = &g_systemIo;

[[noreturn]] void fail(int error) { throw FileWriteError{error}; }
[[noreturn]] void failErrno() { fail(errno); }

const QByteArray kTempPrefix = QByteArrayLiteral(".zvsave-");
const QByteArray kTempSuffix = QByteArrayLiteral(".tmp");
const QByteArray kRecordMagic = QByteArrayLiteral("zuvelo-pgp unfinished write 1\n");

void lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

QByteArray freshTempName(const QByteArray &dir)
{
    return dir + '/' + kTempPrefix + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + kTempSuffix;
}

// Writes all bytes through io, going on after short writes; false with errno set on failure.
bool writeAll(FileIo &io, int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
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

// Removes what saves to dir left behind when they were killed: temporary files of ours that no writer
// holds locked any more. Files of other users, and those of a save still running, stay.
void removeStaleTemporaries(const QByteArray &dir)
{
    DIR *d = ::opendir(dir.constData());
    if (!d)
        return;
    const int dfd = ::dirfd(d);
    while (const dirent *entry = ::readdir(d)) {
        const QByteArrayView name(entry->d_name);
        if (!name.startsWith(kTempPrefix) || !name.endsWith(kTempSuffix))
            continue;
        UniqueFd fd(::openat(dfd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st, now;
        if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // its writer is at work
        if (::fstatat(dfd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(st, now))
            ::unlinkat(dfd, entry->d_name, 0);
    }
    ::closedir(d);
}

// A new file in a folder, not yet in place: unnamed where the file system allows it, otherwise under a
// temporary name. It is locked from the moment it has a name, and removed when it goes without having
// been put in place.
class NewFile {
public:
    NewFile(const QByteArray &dir, mode_t mode, bool allowUnnamed) : m_dir(dir)
    {
        if (allowUnnamed) {
            const int fd = g_io->openUnnamed(dir.constData(), mode);
            if (fd >= 0) {
                m_fd.reset(fd);
                lockExclusive(fd);
                return;
            }
            // EOPNOTSUPP: the file system has no unnamed files; EISDIR or EINVAL: the kernel has none.
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                failErrno();
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = freshTempName(dir);
            UniqueFd fd(::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
            if (!fd) {
                if (errno == EEXIST)
                    continue;
                failErrno();
            }
            lockExclusive(fd.get());
            // A save cleaning the folder may have removed it before the lock was held: then another name.
            struct stat mine, named;
            if (::fstat(fd.get(), &mine) == 0 && ::lstat(name.constData(), &named) == 0 && sameFile(mine, named)) {
                m_fd = std::move(fd);
                m_name = name;
                return;
            }
        }
        fail(EEXIST);
    }
    ~NewFile()
    {
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    int fd() const { return m_fd.get(); }
    bool unnamed() const { return m_name.isEmpty(); }

    // Gives an unnamed file its temporary name, right before it is renamed into place. False when the
    // system cannot link it (no /proc), with errno set.
    bool name()
    {
        if (!m_name.isEmpty())
            return true;
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = freshTempName(m_dir);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        errno = EEXIST;
        return false;
    }
    // Renames the file over target through rename; false with errno set.
    bool putInPlace(const QByteArray &target, const std::function<int(const char *, const char *)> &rename)
    {
        if (rename(m_name.constData(), target.constData()) != 0)
            return false;
        m_name.clear(); // it is the target now
        return true;
    }
    UniqueFd takeFd() { return std::move(m_fd); }

private:
    QByteArray m_dir;
    UniqueFd m_fd;
    QByteArray m_name; // empty while unnamed or once in place
};

// The names of a file's extended attributes, through list (listxattr or flistxattr); nullopt with errno set.
std::optional<QList<QByteArray>> attributeNames(const std::function<ssize_t(char *, size_t)> &list)
{
    for (;;) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray buffer(qsizetype(size), Qt::Uninitialized);
        const ssize_t n = size == 0 ? 0 : list(buffer.data(), size_t(buffer.size()));
        if (n < 0 && errno == ERANGE)
            continue; // it grew in between
        if (n < 0)
            return std::nullopt;
        buffer.truncate(n);
        QList<QByteArray> names = buffer.split('\0');
        names.removeAll(QByteArray());
        return names;
    }
}

// Gives the new file exactly the old file's extended attributes, its ACL among them. What the new file got
// from its folder's default ACL and the old one lacks is removed, since it would widen access.
bool copyExtendedAttributes(const QByteArray &from, int to)
{
    auto names = attributeNames([&](char *b, size_t n) { return ::listxattr(from.constData(), b, n); });
    if (!names) {
        if (errno != ENOTSUP)
            return false;
        names.emplace(); // a file system without them
    }
    auto present = attributeNames([&](char *b, size_t n) { return ::flistxattr(to, b, n); });
    if (!present)
        return errno == ENOTSUP && names->isEmpty();
    for (const QByteArray &name : *present)
        if (!names->contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    for (const QByteArray &name : *names) {
        QByteArray value;
        for (;;) {
            const ssize_t size = ::getxattr(from.constData(), name.constData(), nullptr, 0);
            if (size < 0)
                return false;
            value.resize(qsizetype(size));
            const ssize_t n = ::getxattr(from.constData(), name.constData(), value.data(), size_t(value.size()));
            if (n >= 0) {
                value.truncate(n);
                break;
            }
            if (errno != ERANGE)
                return false;
        }
        if (::fsetxattr(to, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            return false;
    }
    return true;
}

// Gives the new file the old one's owner, group, extended attributes and mode. False when one of them
// cannot be given: the old file is then rewritten in place, so that nothing about it changes.
bool keepIdentity(int fd, const QByteArray &target, const struct stat &old)
{
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return false;
    if (now.st_uid != old.st_uid || now.st_gid != old.st_gid) {
        // A file of our own needs only its group; another user's file needs the right to give files away,
        // and is never taken over by the saving user.
        const uid_t owner = old.st_uid == now.st_uid ? uid_t(-1) : old.st_uid;
        if (::fchown(fd, owner, old.st_gid) != 0)
            return false;
    }
    if (!copyExtendedAttributes(target, fd))
        return false;
    // Last: fchown clears set-id bits, and with an ACL the group bits are its mask, as they were.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

enum class Outcome { Done, InPlace };

Outcome replaceByRename(const QByteArray &target, const struct stat *old, QByteArrayView bytes, WrittenFile &out)
{
    const QByteArray dir = directoryOf(target);
    removeStaleTemporaries(dir);
    for (bool allowUnnamed : {true, false}) {
        std::optional<NewFile> file;
        try {
            // Private until it has the old file's identity; a new document gets what the folder gives.
            file.emplace(dir, old ? 0600 : 0666, allowUnnamed);
        } catch (const FileWriteError &e) {
            // A folder where no file may be created (or a read-only mount) holding a writable file.
            if (old && (e.error == EACCES || e.error == EPERM || e.error == EROFS))
                return Outcome::InPlace;
            throw;
        }
        if (old && !keepIdentity(file->fd(), target, *old))
            return Outcome::InPlace;
        FileIo &io = *g_io;
        if (!writeAll(io, file->fd(), bytes) || io.fsync(file->fd()) != 0)
            failErrno();
        if (!file->name()) {
            if (file->unnamed() && allowUnnamed && errno == ENOENT)
                continue; // no /proc to link an unnamed file through: again with a named one
            failErrno();
        }
        if (!file->putInPlace(target, [&io](const char *from, const char *to) { return io.rename(from, to); })) {
            // A sticky folder keeps another user's file from being replaced; a file that is a mount point of
            // its own cannot be replaced either.
            if (old && (errno == EPERM || errno == EACCES || errno == EBUSY))
                return Outcome::InPlace;
            failErrno();
        }
        syncDirectory(dir);
        const UniqueFd fd = file->takeFd();
        ::fstat(fd.get(), &out.st);
        return Outcome::Done;
    }
    fail(ENOENT);
}

// ---- in-place rewrites and their records ---------------------------------------------------------------

// Creates dir and its missing parents, each new one for this user alone; false with errno set.
bool makeFolders(const QByteArray &dir)
{
    struct stat st;
    if (::stat(dir.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    const QByteArray parent = directoryOf(dir);
    if (parent != dir && parent != "." && !makeFolders(parent))
        return false;
    return ::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST;
}

QByteArray recordName(const struct stat &st)
{
    return nativeFileName(unfinishedWritesFolder()) + '/' + QByteArray::number(qulonglong(st.st_dev), 16) + '-'
        + QByteArray::number(qulonglong(st.st_ino), 16) + ".unfinished";
}

void appendNumber(QByteArray &out, quint64 v)
{
    const quint64 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), sizeof le);
}

struct RecordContent {
    quint64 device = 0, inode = 0;
    QByteArray target, oldBytes, newBytes;
};

QByteArray serializeRecord(const RecordContent &r)
{
    QByteArray out = kRecordMagic;
    out.reserve(out.size() + 40 + r.target.size() + r.oldBytes.size() + r.newBytes.size());
    for (quint64 v : {r.device, r.inode, quint64(r.target.size()), quint64(r.oldBytes.size()), quint64(r.newBytes.size())})
        appendNumber(out, v);
    out += r.target;
    out += r.oldBytes;
    out += r.newBytes;
    return out;
}

std::optional<RecordContent> parseRecord(const QByteArray &data)
{
    if (!data.startsWith(kRecordMagic) || data.size() < kRecordMagic.size() + 40)
        return std::nullopt;
    quint64 v[5];
    for (int i = 0; i < 5; ++i)
        v[i] = qFromLittleEndian<quint64>(data.constData() + kRecordMagic.size() + 8 * i);
    const quint64 start = quint64(kRecordMagic.size()) + 40;
    if (v[2] > quint64(data.size()) || v[3] > quint64(data.size()) || v[4] > quint64(data.size())
        || start + v[2] + v[3] + v[4] != quint64(data.size()))
        return std::nullopt;
    RecordContent r;
    r.device = v[0];
    r.inode = v[1];
    r.target = data.mid(qsizetype(start), qsizetype(v[2]));
    r.oldBytes = data.mid(qsizetype(start + v[2]), qsizetype(v[3]));
    r.newBytes = data.mid(qsizetype(start + v[2] + v[3]), qsizetype(v[4]));
    return r;
}

// The flushed record of an in-place rewrite, locked while it lives; it stays on disk unless removed.
class Record {
public:
    Record(const QByteArray &target, const struct stat &st, const QByteArray &oldBytes, QByteArrayView newBytes)
        : m_name(recordName(st))
    {
        const QByteArray folder = directoryOf(m_name);
        if (!makeFolders(folder))
            failErrno();
        removeStaleTemporaries(folder);
        // Another copy of the program rewriting the same file now holds its record locked.
        const UniqueFd existing(::open(m_name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (existing && ::flock(existing.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            fail(EBUSY);
        const QByteArray data = serializeRecord(
            {quint64(st.st_dev), quint64(st.st_ino), target, oldBytes, newBytes.toByteArray()});
        // The record appears whole or not at all: written unnamed, flushed, then renamed into place.
        NewFile file(folder, 0600, true);
        if (!pwriteAll(file.fd(), data, 0) || ::fsync(file.fd()) != 0 || !file.name()
            || !file.putInPlace(m_name, [](const char *from, const char *to) { return ::rename(from, to); }))
            failErrno();
        syncDirectory(folder);
        m_lock = file.takeFd();
    }
    void remove()
    {
        ::unlink(m_name.constData());
        syncDirectory(directoryOf(m_name));
        m_lock.reset();
    }

private:
    QByteArray m_name;
    UniqueFd m_lock;
};

// Rewrites the file's own content, for files whose identity a rename would change.
WrittenFile rewriteInPlace(const QByteArray &target, QByteArrayView bytes)
{
    UniqueFd fd(::open(target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (!fd)
        failErrno();
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        failErrno();
    if (!S_ISREG(st.st_mode))
        fail(kNotRegularFile);
    QByteArray old;
    if (!readToEnd(fd.get(), old, qsizetype(st.st_size)))
        failErrno();
    Record record(target, st, old, bytes);

    FileIo &io = *g_io;
    const qsizetype oldSize = old.size();
    const qsizetype newSize = bytes.size();
    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0)
            error = errno ? errno : EIO;
        return ok && error == 0;
    };
    // The growth first: a full disk shows here, before any old byte is overwritten.
    if (newSize > oldSize)
        step(::lseek(fd.get(), off_t(oldSize), SEEK_SET) == off_t(oldSize)
             && writeAll(io, fd.get(), bytes.sliced(oldSize)));
    if (step(true))
        step(::lseek(fd.get(), 0, SEEK_SET) == 0 && writeAll(io, fd.get(), bytes.first(std::min(oldSize, newSize))));
    if (step(true) && newSize < oldSize)
        step(::ftruncate(fd.get(), off_t(newSize)) == 0);
    if (step(true))
        step(io.fsync(fd.get()) == 0);
    if (error == 0) {
        WrittenFile out;
        ::fstat(fd.get(), &out.st);
        record.remove();
        return out;
    }
    const bool restored = pwriteAll(fd.get(), old, 0) && ::ftruncate(fd.get(), off_t(oldSize)) == 0
        && ::fsync(fd.get()) == 0;
    if (restored)
        record.remove(); // otherwise the record stays, and the next opening of the file offers it
    fail(error);
}

} // namespace

FileIo *setFileIo(FileIo *io)
{
    FileIo *previous = g_io == &g_systemIo ? nullptr : g_io;
    g_io = io ? io : &g_systemIo;
    return previous;
}

QByteArray resolveSymlinks(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray link(st.st_size > 0 ? qsizetype(st.st_size) + 1 : 4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (n < 0)
            failErrno();
        if (n >= link.size())
            fail(ENAMETOOLONG);
        link.truncate(n);
        path = link.startsWith('/') ? link : directoryOf(path) + '/' + link;
    }
    fail(ELOOP);
}

WrittenFile replaceFileContent(const QByteArray &path, QByteArrayView bytes)
{
    if (path.isEmpty())
        fail(ENOENT);
    const QByteArray target = resolveSymlinks(path);
    struct stat st;
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        failErrno();
    if (exists && !S_ISREG(st.st_mode))
        fail(S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile);
    WrittenFile out;
    if (exists && st.st_nlink > 1)
        return rewriteInPlace(target, bytes);
    if (replaceByRename(target, exists ? &st : nullptr, bytes, out) == Outcome::Done)
        return out;
    return rewriteInPlace(target, bytes);
}

QString unfinishedWritesFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/zuvelo-pgp/unfinished");
}

// ---- InterruptedWrite --------------------------------------------------------------------------------

std::optional<InterruptedWrite> InterruptedWrite::find(const QByteArray &path)
{
    QByteArray target;
    try {
        target = resolveSymlinks(path);
    } catch (const FileWriteError &) {
        return std::nullopt;
    }
    struct stat st;
    if (path.isEmpty() || ::stat(target.constData(), &st) != 0)
        return std::nullopt;
    const QByteArray name = recordName(st);
    UniqueFd fd(::open(name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return std::nullopt; // none, or its writer is still at work
    struct stat mine, named;
    if (::fstat(fd.get(), &mine) != 0 || ::lstat(name.constData(), &named) != 0 || !sameFile(mine, named))
        return std::nullopt; // finished and removed while we waited for it
    QByteArray data;
    if (!readToEnd(fd.get(), data, qsizetype(mine.st_size)))
        return std::nullopt;
    const auto record = parseRecord(data);
    if (!record || record->device != quint64(st.st_dev) || record->inode != quint64(st.st_ino))
        return std::nullopt;
    // The file the record was written for is still there under its name (and not a new file that was given
    // the same inode number).
    struct stat recorded;
    if (::stat(record->target.constData(), &recorded) != 0 || !sameFile(recorded, st))
        return std::nullopt;
    InterruptedWrite found;
    found.m_lockFd = fd.release();
    found.m_record = name;
    found.m_target = record->target;
    found.m_old = record->oldBytes;
    found.m_new = record->newBytes;
    return found;
}

bool InterruptedWrite::completeAny(const QByteArray &path)
{
    auto found = find(path);
    if (!found)
        return false;
    try {
        found->finish(false);
    } catch (const FileWriteError &) {
        return false;
    }
    return true;
}

InterruptedWrite::InterruptedWrite(InterruptedWrite &&other) noexcept
    : m_lockFd(std::exchange(other.m_lockFd, -1)), m_record(std::move(other.m_record)),
      m_target(std::move(other.m_target)), m_old(std::move(other.m_old)), m_new(std::move(other.m_new))
{
}

InterruptedWrite::~InterruptedWrite()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

void InterruptedWrite::finish(bool restoreOld)
{
    const QByteArray &content = restoreOld ? m_old : m_new;
    UniqueFd fd(::open(m_target.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (!fd || !pwriteAll(fd.get(), content, 0) || ::ftruncate(fd.get(), off_t(content.size())) != 0
        || ::fsync(fd.get()) != 0)
        failErrno();
    ::unlink(m_record.constData());
    syncDirectory(directoryOf(m_record));
}

} // namespace zv
