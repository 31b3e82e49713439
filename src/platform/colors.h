#pragma once
// Colours are kept as 0x00BBGGRR (red in the lowest byte) in the settings, the editor and the options.
#include <QColor>

namespace zv {
inline QColor toQColor(unsigned bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }
inline unsigned fromQColor(const QColor &c)
{
    return unsigned(c.red()) | (unsigned(c.green()) << 8) | (unsigned(c.blue()) << 16);
}
} // namespace zv
