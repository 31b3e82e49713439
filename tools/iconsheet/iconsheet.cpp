// Renders every tool image and the program icon into one PNG: each tool image at 16 pixels (as it is and
// enlarged four times without smoothing), at 32 pixels, and at 16 on the dark tool-bar colour; then the
// program icon at all its sizes. Usage: zv_iconsheet [out.png] (default iconsheet.png).
#include "app/toolicons.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("iconsheet.png");

    const int cell = 72;
    const int rows = 5;
    QImage sheet(cell * zv::ToolImageCount + 16, cell * rows + 280, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0xf3, 0xf3, 0xf3));
    QPainter p(&sheet);
    for (int i = 0; i < zv::ToolImageCount; ++i) {
        const int x = 8 + i * cell;
        const QImage small = zv::toolImage(i, 16);
        p.drawImage(x, 8, small);
        p.drawImage(QRect(x, 32, 64, 64), small); // enlarged, no smoothing
        p.drawImage(x, 104, zv::toolImage(i, 32));
        p.fillRect(x, 144, 24, 24, QColor(0x3c, 0x3f, 0x41));
        p.drawImage(x + 4, 148, small);
        p.drawImage(QRect(x, 176, 64, 64), zv::toolImage(i, 32)); // 32 enlarged twice
        p.drawText(x, 256, QString::number(i));
    }
    int x = 8;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        p.drawImage(x, 270, zv::appImage(size));
        x += size + 12;
    }
    p.end();
    if (!sheet.save(out)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
