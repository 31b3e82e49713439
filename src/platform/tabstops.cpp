// Tab stops in points on a device.

#include "tabstops.h"

#include <QTextOption>

#include <algorithm>

namespace zv {

bool applyTabStops(QTextOption &option, const QList<qreal> &points, qreal dotsPerInch)
{
    QList<qreal> positions;
    positions.reserve(points.size());
    const qreal scale = dotsPerInch / 72.0;
    for (qreal pt : points)
        positions.append(pt * scale);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    qreal distance = option.tabStopDistance();
    if (positions.size() >= 2)
        distance = positions.last() - positions.at(positions.size() - 2);
    if (option.tabArray() == positions && qFuzzyCompare(option.tabStopDistance(), distance))
        return false;
    option.setTabArray(positions);
    if (distance > 0)
        option.setTabStopDistance(distance);
    return true;
}

} // namespace zv
