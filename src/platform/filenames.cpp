#include "filenames.h"

#include <QFile>

namespace zv {

QByteArray nativeFileName(const QString &name)
{
    return QFile::encodeName(name);
}

QString fileNameFromNative(const QByteArray &name)
{
    return QFile::decodeName(name);
}

} // namespace zv
