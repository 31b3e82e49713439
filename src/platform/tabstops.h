#pragma once
// Tab stops kept in points, turned into the positions a text is laid out with on a device.

#include <QList>

class QTextOption;

namespace zv {

// Sets tab stops given in points on a text option for a device of dotsPerInch: the positions in device
// pixels, sorted and each once; past the last one the stops follow at the distance between the last two
// (with fewer than two the option's distance stays). Returns whether the option changed. The screen and
// the printer both lay out tabs through here.
bool applyTabStops(QTextOption &option, const QList<qreal> &points, qreal dotsPerInch);

} // namespace zv
