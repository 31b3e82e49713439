#include "app/toolicons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace zv {

namespace {

// Every tool image is drawn on a 16 x 16 grid. A one-unit line lies on a half coordinate, so it covers whole
// pixels at 16 and at 32 pixels.
namespace palette {
const QColor outline(0x3a, 0x46, 0x56);
const QColor paper(0xff, 0xff, 0xff);
const QColor paperShade(0xdc, 0xe4, 0xee);
const QColor textLine(0x8c, 0x9c, 0xb0);
const QColor blue(0x2f, 0x6e, 0xc4);
const QColor blueDark(0x1c, 0x46, 0x85);
const QColor blueLight(0xa9, 0xcb, 0xf2);
const QColor folder(0xf4, 0xc4, 0x52);
const QColor folderBack(0xd9, 0xa0, 0x2e);
const QColor folderLine(0x93, 0x66, 0x12);
const QColor gold(0xf0, 0xb8, 0x2c);
const QColor goldLight(0xfb, 0xdc, 0x7a);
const QColor goldDark(0x8a, 0x5f, 0x0c);
const QColor steel(0x6a, 0x76, 0x86);
const QColor red(0xd0, 0x3f, 0x34);
const QColor redDark(0x8e, 0x24, 0x1d);
const QColor green(0x23, 0x9a, 0x45);
const QColor greenDark(0x14, 0x62, 0x2b);
const QColor wood(0xb9, 0x7d, 0x3f);
const QColor woodDark(0x75, 0x4a, 0x1c);
} // namespace palette

QPen pen(const QColor &c, qreal width = 1.0)
{
    return QPen(c, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

QPen roundPen(const QColor &c, qreal width)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded top-right corner; `lines` short text lines inside.
void drawPage(QPainter &p, const QRectF &r, qreal fold, int lines, qreal lineStep = 2.0)
{
    const QPolygonF page{QPointF(r.left(), r.top()), QPointF(r.right() - fold, r.top()),
                         QPointF(r.right(), r.top() + fold), QPointF(r.right(), r.bottom()),
                         QPointF(r.left(), r.bottom())};
    p.setPen(pen(palette::outline));
    p.setBrush(palette::paper);
    p.drawPolygon(page);
    if (fold > 0) {
        const QPolygonF corner{QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                               QPointF(r.right(), r.top() + fold)};
        p.setBrush(palette::paperShade);
        p.drawPolygon(corner);
    }
    p.setPen(pen(palette::textLine));
    for (int i = 0; i < lines; ++i) {
        const qreal y = r.top() + fold + 2.0 + i * lineStep;
        if (y > r.bottom() - 1.5)
            break;
        const qreal right = (i % 3 == 2) ? r.left() + (r.width() * 0.55) : r.right() - 2.0;
        p.drawLine(QPointF(r.left() + 2.0, y), QPointF(right, y));
    }
}

// A padlock whose body is `body` (corners on half coordinates); the shackle stands above it, closed or
// lifted open to the left. The legs are put on whole pixels of the 16 grid.
void drawPadlock(QPainter &p, const QRectF &body, bool open, qreal shackleWidth = 2.0)
{
    const qreal inset = body.width() * 0.2;
    const qreal left = std::floor(body.left() + inset) + shackleWidth / 2.0;
    const qreal right = std::ceil(body.right() - inset) - shackleWidth / 2.0;
    const qreal radius = (right - left) / 2.0;
    const qreal lift = open ? std::round(body.height() * 0.35) : 0.0;
    const qreal top = body.top() - radius * 2.0 - lift - shackleWidth / 2.0 + 0.5;

    QPainterPath shackle;
    if (open) {
        // The right leg stays in the body; the left leg hangs free above it.
        shackle.moveTo(right, body.top() + 0.5);
        shackle.lineTo(right, top + radius);
        shackle.arcTo(QRectF(left, top, radius * 2, radius * 2), 0, 180);
        shackle.lineTo(left, top + radius + std::max<qreal>(1.0, radius * 0.5));
    } else {
        shackle.moveTo(left, body.top() + 0.5);
        shackle.lineTo(left, top + radius);
        shackle.arcTo(QRectF(left, top, radius * 2, radius * 2), 180, -180);
        shackle.lineTo(right, body.top() + 0.5);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette::steel, shackleWidth, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(shackle);

    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    fill.setColorAt(0.0, palette::goldLight);
    fill.setColorAt(1.0, palette::gold);
    p.setPen(pen(palette::goldDark));
    p.setBrush(fill);
    p.drawRoundedRect(body, 1.0, 1.0);

    // Keyhole: a round head on whole pixels and a stem below it.
    const qreal k = std::max<qreal>(1.0, std::round(body.width() * 0.1));
    const QPointF c(std::round(body.center().x()), std::round(body.top() + body.height() * 0.4));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::goldDark);
    p.drawEllipse(c, k, k);
    p.drawRect(QRectF(c.x() - k / 2.0, c.y(), k, std::round(body.height() * 0.32)));
}

// A pen lying from its nib at `tip` up to the right, `length` long.
void drawPen(QPainter &p, const QPointF &tip, qreal length, qreal width)
{
    p.save();
    p.translate(tip);
    p.rotate(-45);
    const qreal nib = width * 1.1;
    const qreal half = width / 2.0;
    // Nib.
    const QPolygonF nibShape{QPointF(0, 0), QPointF(nib, -half), QPointF(nib, half)};
    p.setPen(pen(palette::goldDark, 0.7));
    p.setBrush(palette::gold);
    p.drawPolygon(nibShape);
    // Barrel and cap.
    p.setPen(pen(palette::redDark, 0.8));
    p.setBrush(palette::red);
    p.drawRoundedRect(QRectF(nib, -half, length - nib, width), half * 0.6, half * 0.6);
    p.setPen(pen(palette::goldLight, 0.7));
    p.drawLine(QPointF(nib + (length - nib) * 0.35, -half + 0.6), QPointF(nib + (length - nib) * 0.35, half - 0.6));
    p.restore();
}

void drawCheck(QPainter &p, const QPolygonF &stroke, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(palette::paper, width + 1.6));
    p.drawPolyline(stroke);
    p.setPen(roundPen(palette::green, width));
    p.drawPolyline(stroke);
}

void paintNew(QPainter &p)
{
    drawPage(p, QRectF(3.5, 1.5, 10, 13), 3, 4);
    // A small spark: the page is new.
    const QPolygonF spark{QPointF(4, 0), QPointF(5, 3), QPointF(8, 4), QPointF(5, 5),
                          QPointF(4, 8), QPointF(3, 5), QPointF(0, 4), QPointF(3, 3)};
    p.setPen(pen(palette::goldDark, 0.6));
    p.setBrush(palette::gold);
    p.drawPolygon(spark);
}

void paintOpen(QPainter &p)
{
    const QPolygonF back{QPointF(1.5, 3.5), QPointF(5.5, 3.5), QPointF(6.5, 4.5), QPointF(12.5, 4.5),
                         QPointF(12.5, 13.5), QPointF(1.5, 13.5)};
    p.setPen(pen(palette::folderLine));
    p.setBrush(palette::folderBack);
    p.drawPolygon(back);
    // A sheet standing in the folder.
    p.setPen(pen(palette::outline, 0.8));
    p.setBrush(palette::paper);
    p.drawRect(QRectF(3.5, 5.5, 8, 5));
    const QPolygonF front{QPointF(1.5, 13.5), QPointF(4.5, 7.5), QPointF(15.5, 7.5), QPointF(12.5, 13.5)};
    p.setPen(pen(palette::folderLine));
    p.setBrush(palette::folder);
    p.drawPolygon(front);
}

void paintSave(QPainter &p)
{
    const QPolygonF disk{QPointF(1.5, 1.5), QPointF(12.5, 1.5), QPointF(14.5, 3.5), QPointF(14.5, 14.5),
                         QPointF(1.5, 14.5)};
    p.setPen(pen(palette::blueDark));
    p.setBrush(palette::blue);
    p.drawPolygon(disk);
    // Shutter with its window.
    p.setPen(pen(palette::blueDark));
    p.setBrush(palette::paperShade);
    p.drawRect(QRectF(4.5, 1.5, 7, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::blueDark);
    p.drawRect(QRectF(9, 2.5, 1.5, 2.5));
    // Label.
    p.setPen(pen(palette::blueDark));
    p.setBrush(palette::paper);
    p.drawRect(QRectF(3.5, 8.5, 9, 6));
    p.setPen(pen(palette::textLine));
    p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
    p.drawLine(QPointF(5, 12.5), QPointF(11, 12.5));
}

void paintCut(QPainter &p)
{
    // Blades.
    p.setPen(roundPen(palette::outline, 1.3));
    p.drawLine(QPointF(6.2, 9.6), QPointF(11.2, 1.6));
    p.drawLine(QPointF(9.8, 9.6), QPointF(4.8, 1.6));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::outline);
    p.drawEllipse(QPointF(8, 6.8), 0.8, 0.8);
    // Handles.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette::red, 1.4));
    p.drawEllipse(QRectF(2.5, 10.0, 4, 4));
    p.drawEllipse(QRectF(9.5, 10.0, 4, 4));
}

void paintCopy(QPainter &p)
{
    drawPage(p, QRectF(1.5, 1.5, 8, 10), 0, 4);
    drawPage(p, QRectF(6.5, 4.5, 8, 10), 0, 4);
}

void paintPaste(QPainter &p)
{
    p.setPen(pen(palette::woodDark));
    p.setBrush(palette::wood);
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
    p.setPen(pen(palette::outline));
    p.setBrush(palette::paperShade);
    p.drawRoundedRect(QRectF(4.5, 1.5, 4, 3), 0.8, 0.8);
    drawPage(p, QRectF(6.5, 6.5, 8, 8), 0, 3);
}

void paintDateTime(QPainter &p)
{
    // Calendar sheet.
    p.setPen(pen(palette::outline));
    p.setBrush(palette::paper);
    p.drawRect(QRectF(1.5, 2.5, 11, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::red);
    p.drawRect(QRectF(2, 3, 10, 3));
    p.setBrush(palette::textLine);
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(3 + col * 2.5, 7.5 + row * 2.5, 1.5, 1.5));
    p.setPen(pen(palette::outline));
    p.drawLine(QPointF(4.5, 1), QPointF(4.5, 4));
    p.drawLine(QPointF(9.5, 1), QPointF(9.5, 4));
    // Clock.
    const QPointF c(11.5, 11.5);
    p.setPen(pen(palette::blueDark));
    p.setBrush(palette::paper);
    p.drawEllipse(c, 4, 4);
    p.setPen(roundPen(palette::blueDark, 1.0));
    p.drawLine(c, QPointF(11.5, 9.0));
    p.drawLine(c, QPointF(13.3, 11.5));
}

void paintFind(QPainter &p)
{
    p.setPen(roundPen(palette::woodDark, 2.6));
    p.drawLine(QPointF(10.2, 10.2), QPointF(13.8, 13.8));
    QRadialGradient glass(QPointF(5.5, 5.0), 5.0);
    glass.setColorAt(0.0, palette::paper);
    glass.setColorAt(1.0, palette::blueLight);
    p.setPen(QPen(palette::outline, 1.4));
    p.setBrush(glass);
    p.drawEllipse(QPointF(6.5, 6.5), 4.6, 4.6);
}

void paintWordWrap(QPainter &p)
{
    p.setPen(pen(palette::outline));
    p.drawLine(QPointF(1, 2.5), QPointF(15, 2.5));
    p.drawLine(QPointF(1, 13.5), QPointF(4, 13.5));
    // A line running into the right edge turns back onto the next line.
    QPainterPath bend;
    bend.moveTo(1, 7.5);
    bend.lineTo(11.5, 7.5);
    bend.cubicTo(15.2, 7.5, 15.2, 13.5, 11.5, 13.5);
    bend.lineTo(8.5, 13.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(palette::blue, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(bend);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::blue);
    p.drawPolygon(QPolygonF{QPointF(5.5, 13.5), QPointF(9, 10.5), QPointF(9, 16.5)});
}

void paintExternalProgram(QPainter &p)
{
    p.setPen(pen(palette::outline));
    p.setBrush(palette::paper);
    p.drawRect(QRectF(1.5, 4.5, 10, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(palette::blue);
    p.drawRect(QRectF(2, 5, 9, 2));
    // The arrow out of the window.
    p.setPen(roundPen(palette::green, 1.8));
    p.drawLine(QPointF(6, 11), QPointF(12.5, 4.5));
    p.setPen(pen(palette::greenDark, 0.6));
    p.setBrush(palette::green);
    p.drawPolygon(QPolygonF{QPointF(15.5, 0.5), QPointF(15.5, 7.5), QPointF(8.5, 0.5)});
}

void paintEncrypt(QPainter &p) { drawPadlock(p, QRectF(2.5, 7.5, 11, 7), false, 2.0); }

void paintSign(QPainter &p)
{
    // A signature line, then the pen that wrote it.
    QPainterPath stroke;
    stroke.moveTo(1.5, 14.0);
    stroke.cubicTo(3.5, 10.5, 4.5, 16.5, 6.5, 13.0);
    stroke.cubicTo(7.5, 11.5, 8.5, 15.5, 10.0, 13.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(palette::blueDark, 1.1));
    p.drawPath(stroke);
    drawPen(p, QPointF(4.0, 11.5), 13.5, 3.6);
}

void paintEncryptSign(QPainter &p)
{
    drawPadlock(p, QRectF(1.5, 8.5, 9, 6), false, 1.0);
    drawPen(p, QPointF(8.0, 12.0), 11.0, 3.2);
}

void paintDecrypt(QPainter &p)
{
    drawPadlock(p, QRectF(1.5, 7.5, 10, 7), true, 2.0);
    drawCheck(p, QPolygonF{QPointF(8.8, 11.2), QPointF(11.0, 13.6), QPointF(14.8, 8.2)}, 2.0);
}

using Painter = void (*)(QPainter &);
constexpr Painter kPainters[ToolImageCount] = {
    paintNew,      paintOpen,     paintSave,   paintCut,        paintCopy,
    paintPaste,    paintDateTime, paintFind,   paintWordWrap,   paintExternalProgram,
    paintEncrypt,  paintSign,     paintEncryptSign, paintDecrypt,
};

QImage render(int size, qreal grid, const std::function<void(QPainter &)> &paint)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / grid, size / grid);
    paint(p);
    p.end();
    return image;
}

// The program icon on a 16 grid, for the small sizes.
void paintAppSmall(QPainter &p)
{
    drawPage(p, QRectF(1.5, 0.5, 11, 14.5), 3.5, 4);
    drawPadlock(p, QRectF(6.5, 9.5, 9, 6), false, 1.0);
}

// The program icon on a 64 grid, for 48 pixels and up.
void paintAppLarge(QPainter &p)
{
    const QRectF r(7, 3, 42, 56);
    const qreal fold = 12;
    const QPolygonF page{r.topLeft(), QPointF(r.right() - fold, r.top()), QPointF(r.right(), r.top() + fold),
                         r.bottomRight(), r.bottomLeft()};
    // Shadow under the page.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawPolygon(page.translated(2, 2));
    p.setPen(QPen(palette::outline, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    QLinearGradient paper(r.topLeft(), r.bottomRight());
    paper.setColorAt(0.0, palette::paper);
    paper.setColorAt(1.0, QColor(0xee, 0xf2, 0xf7));
    p.setBrush(paper);
    p.drawPolygon(page);
    p.setBrush(palette::paperShade);
    p.drawPolygon(QPolygonF{QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold),
                            QPointF(r.right(), r.top() + fold)});
    // Text lines; the heading line in the accent colour.
    p.setPen(QPen(palette::blue, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 12), QPointF(30, 12));
    p.setPen(QPen(palette::textLine, 2.0, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 6; ++i) {
        const qreal y = 22 + i * 6;
        const qreal right = i >= 3 ? 24 : (i % 2 ? 36 : 42);
        p.drawLine(QPointF(14, y), QPointF(right, y));
    }
    drawPadlock(p, QRectF(29, 38, 30, 22), false, 5.0);
}

} // namespace

QImage toolImage(int index, int size)
{
    if (index < 0 || index >= ToolImageCount || size <= 0)
        return {};
    return render(size, 16.0, kPainters[index]);
}

namespace {

// Draws an icon's picture only when a size of it is first asked for, so that start-up does not paint
// every size of every image.
class DrawnIconEngine : public QIconEngine {
public:
    DrawnIconEngine(std::function<QImage(int)> draw, QList<int> sizes) : m_draw(std::move(draw)), m_sizes(std::move(sizes)) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::max(1, std::min(size.width(), size.height()));
        const quint64 key = (quint64(side) << 2) | quint64(mode);
        if (auto it = m_cache.constFind(key); it != m_cache.cend())
            return *it;
        QImage image = m_draw(side);
        if (mode == QIcon::Disabled)
            image = disabled(image);
        const QPixmap pm = QPixmap::fromImage(image);
        m_cache.insert(key, pm);
        return pm;
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = pixmap(rect.size() * dpr, mode, state);
        pm.setDevicePixelRatio(dpr);
        painter->drawPixmap(rect, pm);
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> out;
        for (int s : m_sizes)
            out << QSize(s, s);
        return out;
    }
    QIconEngine *clone() const override { return new DrawnIconEngine(*this); }

private:
    // The disabled look: grey, and half as strong.
    static QImage disabled(const QImage &source)
    {
        QImage img = source.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x) {
                const int grey = qGray(line[x]);
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
            }
        }
        return img;
    }
    std::function<QImage(int)> m_draw;
    QList<int> m_sizes;
    QHash<quint64, QPixmap> m_cache;
};

} // namespace

QIcon toolIcon(int index)
{
    if (index < 0 || index >= ToolImageCount)
        return {};
    return QIcon(new DrawnIconEngine([index](int size) { return toolImage(index, size); }, {16, 24, 32, 48}));
}

QImage appImage(int size)
{
    if (size <= 0)
        return {};
    if (size < 48)
        return render(size, 16.0, paintAppSmall);
    return render(size, 64.0, paintAppLarge);
}

QIcon appIcon()
{
    return QIcon(new DrawnIconEngine(appImage, {16, 24, 32, 48, 64, 128, 256}));
}

} // namespace zv
