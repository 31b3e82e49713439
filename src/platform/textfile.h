#pragma once
// Reading and saving document files. Failures throw zv::PlatformError with the text the user reads:
// "ﾌｧｲﾙ %s は開けません" for a file that cannot be read, "ﾌｧｲﾙ %s を作成できません" for one that cannot be
// written, with the path as given in place of %s; the write error adds the cause in brackets.

#include "atomicfile.h"
#include "textcodec.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <ctime>
#include <sys/types.h>

namespace zv {

// What a document file looked like when the program last read or wrote it, to tell later whether another
// program has changed it since.
struct FileStamp {
    QString path; // empty: nothing read or written
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    timespec takenAt{}; // when the stamp was taken
    size_t contentHash = 0;
};

enum class FileChange { Unchanged, Changed, Gone };

// The whole content of a regular file (symbolic links followed). Folders, devices, pipes and files that
// cannot be opened or read throw the read error. stamp, when given, describes the file as read.
QByteArray readFileBytes(const QString &path, FileStamp *stamp = nullptr);

// Reads a document file and decodes it (see textcodec.h for the text and line-break representation).
DecodedText readDocumentFile(const QString &path, FileStamp *stamp = nullptr);

// Replaces the file's content by bytes, or creates the file, through replaceFileContent (atomicfile.h): the
// file holds the old or the new content and never a mix, and keeps its owner, group, mode, ACL, extended
// attributes and links. A read-only file is not written. Returns the stamp of the written file.
FileStamp saveDocumentFile(const QString &path, QByteArrayView bytes);

// Whether the file at path still is what stamp describes: size, modification and change times and the
// file's identity; where those agree but the file was changed within the file system's time resolution
// of the stamp, or its status changed, the content is compared by its hash.
FileChange compareWithFile(const QString &path, const FileStamp &stamp);

// The write error's text for path, with the cause that error (an errno, or kNotRegularFile) names.
QString saveErrorText(const QString &path, int error);

} // namespace zv
