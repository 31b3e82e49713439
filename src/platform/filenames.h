#pragma once
// File names between the program's text (QString) and the bytes the system uses. Every place that hands a
// document's name to the system, or takes one from it, goes through these functions.
//
// The mapping loses nothing: a name is UTF-8 where its bytes are valid UTF-8, and every byte that is not
// part of a valid UTF-8 sequence (a Shift-JIS name copied from a Windows archive) is carried as the lone
// low surrogate U+DC00 + byte (U+DC80..U+DCFF), which turns back into that byte. So the bytes of any name
// come back unchanged, and two names are equal as text exactly when their bytes are equal.

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace zv {

// The bytes the system knows the file by.
QByteArray nativeFileName(const QString &name);

// The program's text for a name the system gave (the command line, a drop, a folder listing).
QString fileNameFromNative(const QByteArray &name);

// Whether the name carries bytes that are not UTF-8.
bool hasForeignBytes(const QString &name);

// The name as the user reads it (window title, menu, messages): each element of the path that is not
// UTF-8 is shown decoded as Shift-JIS (CP932) where its bytes are valid CP932, and with U+FFFD for each
// foreign byte otherwise. Names that are UTF-8 are returned unchanged.
QString displayFileName(const QString &name);

// The local file a dropped or pasted URL names, byte for byte (its percent-encoded bytes, not their UTF-8
// reading); empty for a URL that is no local file.
QString fileNameFromUrl(const QUrl &url);

// A name that Qt decoded with replacement characters (the file dialog lists folders that way) mapped back
// to the name on disk: each element that holds U+FFFD is looked up in its folder among the entries that
// read the same once decoded that way; a single match gives its real bytes. Anything else is returned as
// it is.
QString recoverDecodedFileName(const QString &name);

// stat() on the name: a regular file (symbolic links followed) / a folder.
bool isExistingFile(const QString &name);
bool isExistingFolder(const QString &name);

} // namespace zv
