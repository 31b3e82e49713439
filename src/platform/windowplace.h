#pragma once
// Where a top-level window may stand: a position kept from an earlier session (another monitor, a
// hand-edited settings file) may leave the window's title bar on no screen, where it cannot be grabbed.

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>

namespace zv {

// The height of a title bar assumed before the window manager has told the real one.
constexpr int kAssumedTitleHeight = 24;

// frame: the window with its frame, as stored; screens: the screens' usable areas. Returns frame's
// position when its title bar (the top titleHeight pixels, at least 64 pixels or the whole width of it) lies
// on a screen; otherwise the position that brings the window, of the same size, onto the nearest screen
// (as far inside as its size allows, the title bar always on the screen).
QPoint reachableWindowPosition(const QRect &frame, const QList<QRect> &screens,
                               int titleHeight = kAssumedTitleHeight);

// The usable areas of the screens the application has.
QList<QRect> screenAreas();

// A window's client position for a frame position: the frame's left and top widths inside it.
inline QPoint clientPositionForFrame(const QPoint &frame, const QMargins &frameMargins)
{
    return frame + QPoint(frameMargins.left(), frameMargins.top());
}

} // namespace zv
