#include "textfile.h"

#include "filenames.h"
#include "platformerror.h"
#include "posixfile.h"

#include <QHashFunctions>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zv {

namespace {

QString openErrorText(const QString &path) { return QStringLiteral("ﾌｧｲﾙ %1 は開けません").arg(displayFileName(path)); }

// Why a file could not be written, as the user reads it.
QString causeText(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込む権限がありません");
    case EROFS:
        return QStringLiteral("読み取り専用のファイルシステムです");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存先のフォルダーがありません");
    case EISDIR:
        return QStringLiteral("同じ名前のフォルダーがあります");
    case kNotRegularFile:
        return QStringLiteral("通常のファイルではありません");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます");
    case ELOOP:
        return QStringLiteral("シンボリックリンクが循環しています");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました");
    case EBUSY:
        return QStringLiteral("ほかのプログラムが同じファイルを保存しています");
    case EFBIG:
        return QStringLiteral("ファイルが大きすぎます");
    case ENOMEM:
        return QStringLiteral("メモリが足りません");
    default:
        return QStringLiteral("システムのエラー番号 %1").arg(error);
    }
}

size_t hashOf(QByteArrayView bytes) { return qHashBits(bytes.data(), size_t(bytes.size()), 0); }

timespec now()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

FileStamp stampOf(const QString &path, const struct stat &st, QByteArrayView content)
{
    FileStamp s;
    s.path = path;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.modified = st.st_mtim;
    s.changed = st.st_ctim;
    s.takenAt = now();
    s.contentHash = hashOf(content);
    return s;
}

bool operator==(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

qint64 nanoseconds(const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; }

} // namespace

QString saveErrorText(const QString &path, int error)
{
    // Ends with the bracket, so that the error report adds no full stop of its own.
    return QStringLiteral("ﾌｧｲﾙ %1 を作成できません (%2)").arg(displayFileName(path), causeText(error));
}

QByteArray readFileBytes(const QString &path, FileStamp *stamp)
{
    const QByteArray name = nativeFileName(path);
    UniqueFd fd(name.isEmpty() ? -1 : ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
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
    if (stamp) {
        // The times as they stand after the read: a change during it is then one the stamp has seen.
        ::fstat(fd.get(), &st);
        *stamp = stampOf(path, st, bytes);
    }
    return bytes;
}

DecodedText readDocumentFile(const QString &path, FileStamp *stamp)
{
    const QByteArray bytes = readFileBytes(path, stamp);
    try {
        return decodeCp932(bytes);
    } catch (const std::bad_alloc &) {
        throw PlatformError(openErrorText(path));
    }
}

FileStamp saveDocumentFile(const QString &path, QByteArrayView bytes)
{
    try {
        const QByteArray name = nativeFileName(path);
        if (name.isEmpty())
            throw FileWriteError{ENOENT};
        const QByteArray target = resolveSymlinks(name);
        // A read-only file is not written, whatever its folder allows.
        struct stat st;
        if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)
            && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            throw FileWriteError{errno};
        const WrittenFile written = replaceFileContent(name, bytes);
        return stampOf(path, written.st, bytes);
    } catch (const FileWriteError &e) {
        throw PlatformError(saveErrorText(path, e.error));
    } catch (const std::bad_alloc &) {
        throw PlatformError(saveErrorText(path, ENOMEM));
    }
}

FileChange compareWithFile(const QString &path, const FileStamp &stamp)
{
    struct stat st;
    if (::stat(nativeFileName(path).constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileChange::Gone : FileChange::Unchanged;
    if (st.st_dev != stamp.device || st.st_ino != stamp.inode || st.st_size != stamp.size
        || !(st.st_mtim == stamp.modified))
        return FileChange::Changed;
    // A write within the time resolution of the file system (coarse clock ticks, two seconds on some) right
    // after the stamp was taken leaves the time as it was; a status change may be a time set back by hand.
    const bool doubt = !(st.st_ctim == stamp.changed)
        || nanoseconds(stamp.takenAt) - nanoseconds(stamp.modified) < qint64(2) * 1000000000;
    if (!doubt)
        return FileChange::Unchanged;
    try {
        return hashOf(readFileBytes(path)) == stamp.contentHash ? FileChange::Unchanged : FileChange::Changed;
    } catch (const PlatformError &) {
        return FileChange::Unchanged; // cannot be read: the write will tell what is wrong
    }
}

} // namespace zv
