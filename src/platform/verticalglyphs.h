#pragma once
// How the characters of vertical writing are drawn in their cells: upright, in the upper right corner,
// turned a quarter clockwise, lying on their side, and undecodable bytes as framed boxes with their value
// in hexadecimal. The screen and the printed page draw with the same code, so that a page shows the
// characters the way the editor does.

#include "verticallayout.h"

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QPointF>
#include <QStringView>

class QPainter;
class QPaintDevice;

namespace zv {

class VerticalGlyphs {
public:
    // layout gives the cell and the advances; it must outlive this.
    explicit VerticalGlyphs(const VerticalLayout &layout) : m_layout(layout) {}

    // The font the characters are drawn in and the device they are drawn for; a change drops what was
    // looked up for the previous ones.
    void setFont(const QFont &font, QPaintDevice *device);

    // Draws one character with the marks that follow it (s), of the given form, in the cell of the column
    // whose middle is at x = cx and which runs from y0 for adv along the column.
    void drawCluster(QPainter &p, QStringView s, VForm form, qreal cx, qreal y0, qreal adv, const QFont &font);

private:
    QPointF cornerShift(char16_t c, const QFont &font, bool small);
    char16_t verticalGlyph(char16_t c);
    void drawText(QPainter &p, const QPointF &at, QStringView s, const QFont &font);

    const VerticalLayout &m_layout;
    QPaintDevice *m_device = nullptr;
    QFont m_glyphFont; // the font the caches below belong to
    QHash<char16_t, QPointF> m_shifts;
    QHash<char16_t, char16_t> m_substitutes;
    QHash<char16_t, QGlyphRun> m_glyphs; // the glyph of each character in m_glyphFont (from its fallback font)
};

} // namespace zv
