// Drawing the characters of vertical writing; see verticalglyphs.h.

#include "verticalglyphs.h"
#include "textcodec.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPaintDevice>
#include <QTextLayout>
#include <QTransform>

#include <algorithm>

namespace zv {

namespace {

// Where the baseline of an upright character lies below the middle of its cell, in cells: the
// ideographic em box of Japanese fonts reaches 0.88 above the baseline and 0.12 below it.
constexpr qreal kCentreToBaseline = 0.38;

// Vertical presentation forms the fonts draw the way a column wants them.
char16_t presentationForm(char16_t c)
{
    switch (c) {
    case u'、': return 0xFE11;
    case u'。': return 0xFE12;
    case u'，': return 0xFE10;
    case u'：': return 0xFE13;
    case u'；': return 0xFE14;
    case u'…': return 0xFE19;
    case u'‥': return 0xFE30;
    case u'—': return 0xFE31;
    case u'–': return 0xFE32;
    case u'（': return 0xFE35;
    case u'）': return 0xFE36;
    case u'｛': return 0xFE37;
    case u'｝': return 0xFE38;
    case u'〔': return 0xFE39;
    case u'〕': return 0xFE3A;
    case u'【': return 0xFE3B;
    case u'】': return 0xFE3C;
    case u'《': return 0xFE3D;
    case u'》': return 0xFE3E;
    case u'〈': return 0xFE3F;
    case u'〉': return 0xFE40;
    case u'「': return 0xFE41;
    case u'」': return 0xFE42;
    case u'『': return 0xFE43;
    case u'』': return 0xFE44;
    case u'［': return 0xFE47;
    case u'］': return 0xFE48;
    case u'〖': return 0xFE17;
    case u'〗': return 0xFE18;
    default: return 0;
    }
}

// True when the font or one of its fallbacks has a glyph for c.
bool hasGlyph(const QFont &font, char16_t c)
{
    QTextLayout tl(QString(QChar(c)), font);
    tl.beginLayout();
    tl.createLine();
    tl.endLayout();
    const QList<QGlyphRun> runs = tl.glyphRuns();
    if (runs.isEmpty())
        return false;
    for (const QGlyphRun &run : runs)
        for (quint32 g : run.glyphIndexes())
            if (g == 0)
                return false;
    return true;
}

// A turn of a quarter clockwise about the origin, then a move to (x, y).
QTransform turned(qreal x, qreal y) { return QTransform(0, 1, -1, 0, x, y); }

} // namespace

void VerticalGlyphs::setFont(const QFont &font, QPaintDevice *device)
{
    if (m_glyphFont == font && m_device == device)
        return;
    m_glyphFont = font;
    m_device = device;
    m_shifts.clear();
    m_substitutes.clear();
    m_glyphs.clear();
}

QPointF VerticalGlyphs::cornerShift(char16_t c, const QFont &font, bool small)
{
    const auto it = m_shifts.constFind(c);
    if (it != m_shifts.constEnd())
        return *it;
    // The ink of the horizontal glyph, mirrored from the lower left of its cell to the upper right: the
    // margin it keeps from the left edge it keeps from the right, the margin from the bottom of the
    // ideographic em box it keeps from the top.
    QPainterPath path;
    path.addText(0, 0, font, QString(QChar(c)));
    const QRectF ink = path.boundingRect();
    QPointF shift;
    if (!ink.isEmpty()) {
        const qreal a = m_layout.cell();
        const qreal advance = m_layout.advance(c);
        const qreal left = ink.left();
        const qreal bottom = 0.12 * a - ink.bottom();
        shift.setX(advance - 2 * left - ink.width());
        shift.setY((-0.88 * a + bottom) - ink.top());
        if (small) // small kana lean a little towards the right edge
            shift.rx() = std::max(shift.x(), 0.0) + 0.08 * a;
    }
    m_shifts.insert(c, shift);
    return shift;
}

char16_t VerticalGlyphs::verticalGlyph(char16_t c)
{
    const auto it = m_substitutes.constFind(c);
    if (it != m_substitutes.constEnd())
        return *it;
    char16_t form = presentationForm(c);
    if (form && !hasGlyph(m_glyphFont, form))
        form = 0;
    m_substitutes.insert(c, form);
    return form;
}

// Draws text with its baseline starting at a point. A single character in the editor's font is drawn from
// its glyph, looked up once (painting shapes nothing); anything else is drawn as text.
void VerticalGlyphs::drawText(QPainter &p, const QPointF &at, QStringView s, const QFont &font)
{
    if (s.size() != 1 || font.bold() != m_glyphFont.bold() || font.italic() != m_glyphFont.italic()) {
        p.drawText(at, s.toString());
        return;
    }
    const char16_t c = s.at(0).unicode();
    auto it = m_glyphs.find(c);
    if (it == m_glyphs.end()) {
        QGlyphRun glyph;
        QFont plain = m_glyphFont;
        plain.setUnderline(false);
        plain.setStrikeOut(false);
        QTextLayout tl(QString(QChar(c)), plain, m_device);
        tl.setCacheEnabled(true);
        tl.beginLayout();
        const QTextLine line = tl.createLine();
        tl.endLayout();
        const QList<QGlyphRun> runs = tl.glyphRuns();
        if (runs.size() == 1 && runs[0].glyphIndexes().size() == 1) {
            glyph = runs[0];
            glyph.setPositions({runs[0].positions().value(0) - QPointF(line.x(), line.ascent())});
        }
        it = m_glyphs.insert(c, glyph);
    }
    if (it->isEmpty())
        p.drawText(at, s.toString());
    else
        p.drawGlyphRun(at, *it);
}

void VerticalGlyphs::drawCluster(QPainter &p, QStringView s, VForm form, qreal cx, qreal y0, qreal adv,
                               const QFont &font)
{
    const qreal a = m_layout.cell();
    const char16_t c = s.at(0).unicode();
    const qreal baseline = y0 + adv / 2 + kCentreToBaseline * a;
    switch (form) {
    case VForm::Tab: return;
    case VForm::RawByte: {
        QRectF box(cx - a / 2 + 0.5, y0 + 1.5, a - 1, adv - 3);
        p.drawRect(box);
        QFont small = font;
        small.setPointSizeF(std::max(4.0, font.pointSizeF() * 0.55));
        small.setBold(false);
        small.setItalic(false);
        p.setFont(small);
        p.drawText(box, Qt::AlignCenter, QString::number(opaqueByteValue(QChar(c)), 16).rightJustified(2, u'0').toUpper());
        p.setFont(font);
        return;
    }
    case VForm::Sideways:
    case VForm::Mark:
        p.setTransform(turned(cx, y0));
        drawText(p, QPointF(0, kCentreToBaseline * a), s, font);
        p.resetTransform();
        return;
    case VForm::Corner:
    case VForm::Turned:
        if (const char16_t sub = verticalGlyph(c)) {
            const QChar glyph(sub);
            drawText(p, QPointF(cx - m_layout.advance(sub) / 2, baseline), QStringView(&glyph, 1), font);
            return;
        }
        break;
    default: break;
    }
    const qreal width = s.size() == 1 ? m_layout.advance(c) : QFontMetricsF(font, m_device).horizontalAdvance(s.toString());
    if (form == VForm::Turned) {
        p.setTransform(turned(cx, y0 + adv / 2));
        drawText(p, QPointF(-width / 2, kCentreToBaseline * a), s, font);
        p.resetTransform();
        return;
    }
    QPointF at(cx - width / 2, baseline);
    if (form == VForm::Corner || form == VForm::SmallKana)
        at += cornerShift(c, font, form == VForm::SmallKana);
    drawText(p, at, s, font);
}

} // namespace zv
