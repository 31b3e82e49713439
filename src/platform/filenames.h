#pragma once
// File names between the program's text (QString) and the bytes the system uses. Every place that hands a
// document's name to the system goes through these two functions.

#include <QByteArray>
#include <QString>

namespace zv {

// The bytes the system knows the file by.
QByteArray nativeFileName(const QString &name);

// The program's text for a name the system gave (the command line, a drop, a folder listing).
QString fileNameFromNative(const QByteArray &name);

} // namespace zv
