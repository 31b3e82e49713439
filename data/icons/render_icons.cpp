// Writes the program icon as PNG files for the desktop's icon theme:
//   zv_render_icons <output folder> <icon name> <size>...
// makes <output folder>/<size>x<size>/apps/<icon name>.png for each size, drawn by the program's own
// icon painter so that the installed icons are the ones the window shows.

#include "app/toolicons.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <output folder> <icon name> <size>...\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLatin1(argv[i]).toInt(&ok);
        if (!ok || size <= 0 || size > 1024) {
            std::fprintf(stderr, "not an icon size: %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = dir + u'/' + name + QStringLiteral(".png");
        const QImage image = zv::appImage(size);
        if (image.isNull() || !QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
