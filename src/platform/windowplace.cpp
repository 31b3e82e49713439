#include "windowplace.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <limits>

namespace zv {

namespace {
// Squared distance between two rectangles (0 when they meet).
qint64 distance2(const QRect &a, const QRect &b)
{
    const qint64 dx = std::max<qint64>({0, qint64(b.left()) - a.right(), qint64(a.left()) - b.right()});
    const qint64 dy = std::max<qint64>({0, qint64(b.top()) - a.bottom(), qint64(a.top()) - b.bottom()});
    return dx * dx + dy * dy;
}

bool titleReachable(const QRect &frame, const QRect &area, int titleHeight)
{
    const QRect title(frame.left(), frame.top(), frame.width(), std::min(titleHeight, frame.height()));
    const QRect onScreen = title.intersected(area);
    return onScreen.height() == title.height() && onScreen.width() >= std::min(64, title.width());
}

int fit(int pos, int size, int start, int length)
{
    if (size >= length)
        return start;
    return std::clamp(pos, start, start + length - size);
}
} // namespace

QPoint reachableWindowPosition(const QRect &frame, const QList<QRect> &screens, int titleHeight)
{
    if (screens.isEmpty())
        return frame.topLeft();
    for (const QRect &area : screens)
        if (titleReachable(frame, area, titleHeight))
            return frame.topLeft();
    // The nearest screen; among screens the window overlaps, the one it overlaps most.
    const QRect *best = nullptr;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    qint64 bestOverlap = -1;
    for (const QRect &area : screens) {
        const qint64 d = distance2(frame, area);
        const QRect common = frame.intersected(area);
        const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (d < bestDistance || (d == bestDistance && overlap > bestOverlap)) {
            best = &area;
            bestDistance = d;
            bestOverlap = overlap;
        }
    }
    return QPoint(fit(frame.left(), frame.width(), best->left(), best->width()),
                  fit(frame.top(), frame.height(), best->top(), best->height()));
}

QList<QRect> screenAreas()
{
    QList<QRect> areas;
    for (const QScreen *s : QGuiApplication::screens())
        areas << s->availableGeometry();
    return areas;
}

} // namespace zv
