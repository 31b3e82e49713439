#pragma once
// Replacing a file's whole content so that the file holds the old content or the new one and never a mix,
// and stays the file it was: owner, group, mode, ACL and extended attributes, hard links and symbolic
// links. Document saving and the settings store both write through replaceFileContent.
//
// The usual way is a new file in the same folder, flushed and renamed over the old one. The new file is
// created unnamed (O_TMPFILE) and given a name only just before the rename, so a writer killed at any
// moment leaves nothing behind; where the file system cannot do that, it gets a hidden name
// ".zvsave-*.tmp" at once, holds a lock on it while it exists, and the next save to that folder removes
// such files whose writer has died.
//
// Where a new file cannot stand in for the old one (several hard links; a folder where no file may be
// created or renamed, such as another user's file in a sticky folder; an owner, group, ACL or extended
// attribute the new file cannot be given), the old file is rewritten in place. Before it is touched, a
// record holding the old and the new content is written and flushed in the user's state folder
// ($XDG_STATE_HOME/zuvelo-pgp/unfinished, default ~/.local/state/...). A writer killed during the rewrite
// leaves that record; InterruptedWrite finds it and puts the old or the new content back. A rewrite that
// fails is undone at once from the record's content and the record removed.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <sys/stat.h>
#include <sys/types.h>

namespace zv {

// A replacement that failed: the errno of the step that failed (ENOSPC, EACCES, EROFS, ENOENT, ...).
// kNotRegularFile stands for a name that is something other than a regular file (a pipe, a device).
struct FileWriteError {
    int error;
};
inline constexpr int kNotRegularFile = -1;

// The file as it stood right after it was written.
struct WrittenFile {
    struct stat st;
};

// Replaces the content of the file at path (bytes as the system knows the name), or creates the file.
// A symbolic link is kept and its final target written. Throws FileWriteError; the old file is then whole
// and no temporary file is left.
WrittenFile replaceFileContent(const QByteArray &path, QByteArrayView bytes);

// The final target of a chain of symbolic links (the path itself when it is no link or does not exist).
// Throws FileWriteError (ELOOP for a cycle).
QByteArray resolveSymlinks(QByteArray path);

// The folder where the records of in-place rewrites are kept.
QString unfinishedWritesFolder();

// An in-place rewrite of a file whose writer was killed before it finished, found by the file's name.
// While the object lives it holds the record's lock, so no other copy of the program acts on it.
class InterruptedWrite {
public:
    // The unfinished rewrite of the file at path, if there is one whose writer is gone.
    static std::optional<InterruptedWrite> find(const QByteArray &path);
    // Rolls forward at once, without asking: the content meant to be written is written. For files that
    // only the program reads (the settings). Returns whether there was one.
    static bool completeAny(const QByteArray &path);

    InterruptedWrite(InterruptedWrite &&other) noexcept;
    InterruptedWrite &operator=(InterruptedWrite &&) = delete;
    ~InterruptedWrite();

    const QByteArray &oldContent() const { return m_old; }
    const QByteArray &newContent() const { return m_new; }
    // Writes the old content back (restoreOld) or the new one, flushes it and removes the record.
    // Throws FileWriteError, leaving the record for a later try.
    void finish(bool restoreOld);

private:
    InterruptedWrite() = default;
    int m_lockFd = -1;
    QByteArray m_record; // the record's name
    QByteArray m_target;
    QByteArray m_old, m_new;
};

// The system calls of writing, replaceable by tests to inject faults. They follow the POSIX calls: a
// result of -1 with errno set reports a failure.
class FileIo {
public:
    virtual ~FileIo() = default;
    virtual ssize_t write(int fd, const void *data, size_t size);
    virtual int fsync(int fd);
    virtual int rename(const char *from, const char *to);
    // An unnamed file in dir (open with O_TMPFILE); file systems without it fail with EOPNOTSUPP.
    virtual int openUnnamed(const char *dir, mode_t mode);
};

// Installs io for the write operations and returns the one it replaces; nullptr installs the system's.
FileIo *setFileIo(FileIo *io);

} // namespace zv
