#pragma once
// Reading and saving document files. Failures throw zv::PlatformError with the text the user reads:
// "ﾌｧｲﾙ %s は開けません" for a file that cannot be read, "ﾌｧｲﾙ %s を作成できません" for one that cannot be
// written, with the path as given in place of %s.

#include "textcodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <sys/types.h>

namespace zv {

// The whole content of a regular file (symbolic links followed). Folders, devices, pipes and files that
// cannot be opened or read throw the read error.
QByteArray readFileBytes(const QString &path);

// Reads a document file and decodes it (see textcodec.h for the text and line-break representation).
DecodedText readDocumentFile(const QString &path);

// Replaces the file's content by bytes, or creates the file.
//
// Normally the bytes go to a new temporary file in the same folder (created exclusively, with the old
// file's mode, owner and group where the process may set them), are flushed to the disk and the
// temporary file is renamed over the old one, so the file holds either the old or the new content and
// never a mix. A symbolic link is kept: the link's final target is replaced. A file with several hard
// links, or a writable file in a folder where no new file can be created, is rewritten in place instead:
// a backup copy of the old content is written and flushed first (beside the file, or in the user's cache
// folder), the growth is written past the old end before any old byte is touched (so a full disk is met
// while the old content is whole), and every failure restores the old content; the backup is removed
// when the save has succeeded. A failure leaves no temporary file and throws the write error.
void saveDocumentFile(const QString &path, QByteArrayView bytes);

// The system calls of saving, replaceable by tests to inject faults. They follow the POSIX calls: a
// result of -1 with errno set reports a failure.
class FileIo {
public:
    virtual ~FileIo() = default;
    virtual ssize_t write(int fd, const void *data, size_t size);
    virtual int fsync(int fd);
    virtual int rename(const char *from, const char *to);
};

// Installs io for the save operations and returns the one it replaces; nullptr installs the system's.
FileIo *setFileIo(FileIo *io);

} // namespace zv
