// The document editor in vertical writing: painting the columns, the caret and the selection, the mouse,
// the navigation keys, the selection bar along the top edge and the scroll bar through the columns.

#include "verticalview.h"
#include "editor.h"
#include "editoraccessible.h"
#include "selectionbar.h"
#include "textcodec.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace zv {

namespace {

// The text pointer of vertical writing: an I-beam lying across the column.
QCursor lyingBeam()
{
    QPixmap pm(21, 21);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    for (const auto &[colour, width] : {std::pair{QColor(Qt::white), 3}, std::pair{QColor(Qt::black), 1}}) {
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::SquareCap));
        p.drawLine(3, 10, 17, 10);
        p.drawLine(2, 7, 2, 13);
        p.drawLine(18, 7, 18, 13);
    }
    p.end();
    return QCursor(pm, 10, 10);
}

} // namespace

VerticalView::VerticalView(Editor *editor)
    : QObject(editor), layout(editor->document()), bar(new QScrollBar(Qt::Horizontal, editor)),
      q(editor), m_blink(new QTimer(this))
{
    // Screen readers learn where the characters stand from the editor's own geometry, in either direction.
    installEditorAccessibility();
    bar->setObjectName(QStringLiteral("columnScrollBar"));
    bar->setAccessibleName(QStringLiteral("横スクロールバー"));
    bar->setInvertedAppearance(true); // the first column is at the right
    bar->setInvertedControls(false);
    bar->setRange(0, 0);
    bar->hide();
    connect(bar, &QScrollBar::valueChanged, this, [this] {
        if (!m_active)
            return;
        q->viewport()->update();
        q->updateMicroFocus();
    });
    connect(m_blink, &QTimer::timeout, this, [this] {
        m_caretOn = !m_caretOn;
        q->viewport()->update(caretRect().adjusted(-2, -2, 2, 2));
    });
}

// --- switching --------------------------------------------------------------------------------------------------

void VerticalView::enter()
{
    m_active = true;
    m_endPos = -1;
    m_goal = -1;
    layout.invalidate();
    bar->setRange(0, 0);
    bar->setValue(0);
    ensureCaretVisible();
    restartBlink();
    q->viewport()->setCursor(lyingBeam());
    q->viewport()->update();
    q->updateMicroFocus();
}

void VerticalView::leave()
{
    m_active = false;
    m_blink->stop();
    m_dragging = false;
    m_barDrag.cancel();
    layout.invalidate();
    bar->hide();
    q->viewport()->setCursor(Qt::IBeamCursor);
}

// --- keeping in step ---------------------------------------------------------------------------------------------

qreal VerticalView::margin() const { return q->document()->documentMargin(); }

void VerticalView::sync()
{
    if (!m_active)
        return;
    const QFont font = q->font();
    const qreal length = std::max<qreal>(1, q->viewport()->height() - 2 * margin());
    const QTextOption opt = q->document()->defaultTextOption();
    const bool changing = font != layout.font() || !qFuzzyCompare(length, layout.columnLength())
                          || opt.tabArray() != layout.tabStops()
                          || !qFuzzyCompare(opt.tabStopDistance() + 1, layout.tabDistance() + 1);
    if (changing && layout.counted() && m_anchorPos < 0 && bar->value() > 0)
        m_anchorPos = columnRange(bar->value()).first;
    if (changing) {
        layout.setFont(font, q->viewport());
        layout.setColumnLength(length);
        layout.setTabs(opt.tabArray(), opt.tabStopDistance());
        glyphs.setFont(font, q->viewport());
    }
    if (!q->isVisible())
        return;
    updateScrollRange();
    if (m_anchorPos >= 0) {
        const int anchor = std::min(m_anchorPos, q->textLength());
        m_anchorPos = -1;
        bar->setValue(spotOf(anchor, false).global);
    }
}

void VerticalView::updateScrollRange()
{
    const int total = layout.columnCount();
    const int shown = visibleColumns();
    const int max = std::max(0, total - shown);
    if (bar->maximum() != max)
        bar->setRange(0, max);
    bar->setPageStep(shown);
    bar->setSingleStep(1);
}

void VerticalView::documentChanged(int from, int removed, int added)
{
    layout.documentChanged(from, removed, added);
    if (m_active)
        q->viewport()->update();
}

void VerticalView::compositionChanged(const QInputMethodEvent *e)
{
    const QString preedit = e->preeditString();
    m_compCursor = int(preedit.size());
    m_compCursorShown = true;
    for (const auto &a : e->attributes()) {
        if (a.type == QInputMethodEvent::Cursor) {
            m_compCursor = std::clamp(a.start, 0, int(preedit.size()));
            m_compCursorShown = a.length != 0;
        }
    }
    layout.setCompositionBlock(preedit.isEmpty() ? QTextBlock() : q->textCursor().block());
    if (!m_active)
        return;
    ensureCaretVisible();
    q->viewport()->update();
    q->updateMicroFocus();
}

void VerticalView::cursorMoved()
{
    if (!m_active)
        return;
    if (!m_moving) {
        m_endPos = -1;
        m_goal = -1;
    }
    restartBlink();
    ensureCaretVisible();
    q->viewport()->update();
}

void VerticalView::focusChanged(bool in)
{
    Q_UNUSED(in);
    if (!m_active)
        return;
    restartBlink();
    q->viewport()->update();
}

void VerticalView::restartBlink()
{
    m_caretOn = true;
    const int interval = QGuiApplication::styleHints()->cursorFlashTime() / 2;
    if (m_active && q->hasFocus() && interval > 0)
        m_blink->start(interval);
    else
        m_blink->stop();
}

// --- geometry ----------------------------------------------------------------------------------------------------

int VerticalView::visibleColumns() const
{
    const qreal room = q->viewport()->width() - 2 * margin();
    return std::max(1, int(std::floor(room / layout.pitch())));
}

qreal VerticalView::columnRight(int column) const
{
    return q->viewport()->width() - margin() - (column - bar->value()) * layout.pitch();
}

bool VerticalView::caretAtColumnEnd() const { return m_endPos >= 0 && m_endPos == q->textCursor().position(); }

VerticalView::Spot VerticalView::spotOf(int pos, bool atColumnEnd)
{
    Spot s;
    pos = std::clamp(pos, 0, q->textLength());
    s.block = q->document()->findBlock(pos);
    s.para = layout.paragraph(s.block);
    const VerticalParagraph &p = *s.para;
    s.index = p.shownIndex(pos - s.block.position());
    s.column = p.columnOf(s.index);
    if (atColumnEnd && s.column > 0 && s.index == p.starts[size_t(s.column)]) {
        --s.column;
        int k = s.index - 1;
        while (k > p.starts[size_t(s.column)] && p.extent[size_t(k)] <= 0)
            --k;
        s.y = p.offset[size_t(k)] + p.extent[size_t(k)];
    } else {
        s.y = p.offset[size_t(s.index)];
    }
    s.y = std::min(s.y, layout.columnLength());
    s.global = layout.firstColumn(s.block.blockNumber()) + s.column;
    return s;
}

QRectF VerticalView::cellRect(int pos)
{
    sync();
    const Spot s = spotOf(pos, false);
    const qreal extent = s.index < s.para->text.size() ? s.para->extent[size_t(s.index)] : 0;
    const qreal right = columnRight(s.global);
    return {right - layout.pitch(), margin() + s.y, layout.pitch(), extent};
}

VerticalView::Spot VerticalView::caretSpot()
{
    const int pos = q->textCursor().position();
    Spot s = spotOf(pos, caretAtColumnEnd());
    const VerticalParagraph &p = *s.para;
    if (p.compositionAt >= 0 && pos - s.block.position() == p.compositionAt) { // the caret inside the composition
        s.index = p.compositionAt + std::min(m_compCursor, p.compositionLength);
        s.column = p.columnOf(s.index);
        s.y = std::min<qreal>(p.offset[size_t(s.index)], layout.columnLength());
        s.global = layout.firstColumn(s.block.blockNumber()) + s.column;
    }
    return s;
}

QRect VerticalView::caretRect()
{
    sync();
    const Spot s = caretSpot();
    const qreal cx = columnRight(s.global) - layout.pitch() / 2;
    const qreal half = layout.cell() / 2 + 1;
    const int thickness = std::max(1, q->cursorWidth());
    const int top = int(std::lround(margin() + s.y - thickness / 2.0));
    return QRect(QPoint(int(std::floor(cx - half)), top), QPoint(int(std::ceil(cx + half)) - 1, top + thickness - 1));
}

QRect VerticalView::inputMethodCursorRect()
{
    // The input methods put their candidate window below the cursor rectangle, starting at its left edge.
    // A one-pixel rectangle just beside the right edge of the caret's column, level with the caret (the
    // top of the clause being converted), puts the window beside the column, its top at the clause,
    // instead of across the column below a caret that lies across it.
    sync();
    const Spot s = caretSpot();
    const int right = int(std::ceil(columnRight(s.global)));
    const int top = int(std::lround(margin() + s.y));
    return QRect(right + 1, top, 1, 1);
}

std::pair<int, int> VerticalView::columnRange(int column)
{
    const auto [number, c] = layout.locate(column);
    const QTextBlock block = q->document()->findBlockByNumber(number);
    const auto para = layout.paragraph(block);
    const int first = block.position() + para->position(para->starts[size_t(c)]);
    const int next = c + 1 < para->columnCount() ? block.position() + para->position(para->starts[size_t(c) + 1])
                                                  : std::min(block.position() + block.length(), q->textLength());
    return {first, next};
}

int VerticalView::positionInColumn(int column, qreal y, bool *atColumnEnd)
{
    const auto [number, c] = layout.locate(column);
    const QTextBlock block = q->document()->findBlockByNumber(number);
    const auto para = layout.paragraph(block);
    const int s = para->starts[size_t(c)];
    const int e = para->columnEnd(c);
    int index = e;
    for (int k = s; k < e; ++k) {
        const float extent = para->extent[size_t(k)];
        if (extent > 0 && y < para->offset[size_t(k)] + extent / 2) {
            index = k;
            break;
        }
    }
    if (atColumnEnd)
        *atColumnEnd = index == e && c + 1 < para->columnCount();
    return block.position() + para->position(index);
}

int VerticalView::hitTest(const QPointF &p, bool *atColumnEnd)
{
    sync();
    const int total = layout.columnCount();
    const int v = bar->value();
    const int column = std::clamp(v + int(std::floor((columnRight(v) - p.x()) / layout.pitch())), 0, total - 1);
    return positionInColumn(column, p.y() - margin(), atColumnEnd);
}

void VerticalView::ensureCaretVisible()
{
    if (!m_active)
        return;
    if (!q->isVisible()) { // once the view is shown
        m_pendingReveal = true;
        return;
    }
    m_pendingReveal = false;
    sync();
    const int global = caretSpot().global;
    const int v = bar->value();
    const int shown = visibleColumns();
    if (global < v)
        bar->setValue(global);
    else if (global >= v + shown)
        bar->setValue(global - shown + 1);
    q->updateMicroFocus();
}

// --- painting ----------------------------------------------------------------------------------------------------

void VerticalView::drawColumn(QPainter &p, const QRect &clip, const QTextBlock &block, const VerticalParagraph &para,
                              int column, int global)
{
    const qreal pitch = layout.pitch();
    const qreal a = layout.cell();
    const qreal right = columnRight(global);
    const qreal left = right - pitch;
    const qreal cx = right - pitch / 2;
    const qreal top = margin();
    const qreal bottom = top + layout.columnLength();
    const QPalette pal = q->palette();
    const QPalette::ColorGroup group = q->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const QColor text = pal.color(group, QPalette::Text);
    const QTextCursor cursor = q->textCursor();
    const int selStart = cursor.selectionStart();
    const int selEnd = cursor.selectionEnd();
    const int blockPos = block.position();
    const bool underline = layout.font().underline();
    const bool strike = layout.font().strikeOut();
    QList<QTextLayout::FormatRange> formats;
    if (para.compositionAt >= 0 && block.layout())
        formats = block.layout()->formats();

    QFont plain = layout.font();
    plain.setUnderline(false);
    plain.setStrikeOut(false);
    p.setFont(plain);
    QFont current = plain;

    const int s = para.starts[size_t(column)];
    const int e = para.columnEnd(column);
    for (int k = s; k < e;) {
        int end = k + 1;
        while (end < e && verticalForm(para.text.at(end).unicode()) == VForm::Mark)
            ++end;
        const qreal y0 = top + para.offset[size_t(k)];
        qreal adv = para.extent[size_t(k)];
        if (y0 > clip.bottom() + 1 || y0 >= bottom + a)
            break;
        adv = std::min(adv, std::max<qreal>(0, bottom - y0)); // spaces hanging past the end of the column
        if (y0 + adv < clip.top() || adv <= 0) {
            k = end;
            continue;
        }
        const QRectF cell(left, y0, pitch, adv);
        const bool composing = para.compositionAt >= 0 && k >= para.compositionAt
                               && k < para.compositionAt + para.compositionLength;
        const int pos = blockPos + para.position(k);
        QColor fg = text;
        QFont font = plain;
        bool lined = underline;
        bool struck = strike;
        if (composing) {
            for (const auto &r : std::as_const(formats)) {
                if (k < r.start || k >= r.start + r.length)
                    continue;
                if (r.format.hasProperty(QTextFormat::BackgroundBrush))
                    p.fillRect(cell, r.format.background());
                if (r.format.hasProperty(QTextFormat::ForegroundBrush))
                    fg = r.format.foreground().color();
                if (r.format.fontWeight() > QFont::Normal)
                    font.setBold(true);
                if (r.format.fontItalic())
                    font.setItalic(true);
                lined = lined || r.format.underlineStyle() != QTextCharFormat::NoUnderline;
                struck = struck || r.format.fontStrikeOut();
            }
        } else if (pos >= selStart && pos < selEnd) {
            p.fillRect(cell, pal.brush(group, QPalette::Highlight));
            fg = pal.color(group, QPalette::HighlightedText);
        }
        p.setPen(fg);
        if (font != current) {
            p.setFont(font);
            current = font;
        }
        VForm form = verticalForm(para.text.at(k).unicode());
        glyphs.drawCluster(p, QStringView(para.text).mid(k, end - k), form, cx, y0, adv, current);
        if (lined) // a line beside the column, at its right
            p.drawLine(QLineF(cx + a / 2 + 1.5, y0, cx + a / 2 + 1.5, y0 + adv));
        if (struck) // through the middle of the column
            p.drawLine(QLineF(cx, y0, cx, y0 + adv));
        k = end;
    }
    // A selected line break: a half cell after the end of the paragraph.
    if (column == para.columnCount() - 1 && block.next().isValid()) {
        const int breakPos = blockPos + block.length() - 1;
        const qreal y = top + para.offset[size_t(para.text.size())];
        if (breakPos >= selStart && breakPos < selEnd && y < bottom)
            p.fillRect(QRectF(left, y, pitch, std::min(a / 2, bottom - y)), pal.brush(group, QPalette::Highlight));
    }
}

void VerticalView::paint(QPaintEvent *e)
{
    sync();
    if (m_pendingReveal)
        ensureCaretVisible();
    QPainter p(q->viewport());
    const QRect clip = e->rect();
    p.fillRect(clip, q->palette().brush(QPalette::Base));
    const int total = layout.columnCount();
    const int v = bar->value();
    const qreal pitch = layout.pitch();
    const qreal right0 = columnRight(v);
    const int first = std::max(v, v + int(std::floor((right0 - clip.right() - 1) / pitch)));
    const int last = std::min(total - 1, v + int(std::floor((right0 - clip.left()) / pitch)));
    if (first <= last) {
        p.setClipRect(clip);
        auto [number, column] = layout.locate(first);
        QTextBlock block = q->document()->findBlockByNumber(number);
        auto para = layout.paragraph(block);
        for (int g = first; g <= last; ++g) {
            drawColumn(p, clip, block, *para, column, g);
            if (++column >= para->columnCount()) {
                block = block.next();
                if (!block.isValid())
                    break;
                para = layout.paragraph(block);
                column = 0;
            }
        }
    }
    // The caret: a bar across the column.
    const QTextBlock caretBlock = q->textCursor().block();
    const bool composing = layout.compositionBlock().isValid() && caretBlock == layout.compositionBlock();
    if (q->hasFocus() && m_caretOn && (!composing || m_compCursorShown)) {
        const QRect caret = caretRect();
        if (caret.intersects(clip))
            p.fillRect(caret, q->palette().color(QPalette::Text));
    }
}

// --- keys --------------------------------------------------------------------------------------------------------

void VerticalView::moveCursor(const QTextCursor &c, bool atColumnEnd, bool keepGoal)
{
    const qreal goal = m_goal;
    m_moving = true;
    q->setTextCursor(c);
    m_moving = false;
    m_endPos = atColumnEnd ? c.position() : -1;
    m_goal = keepGoal ? goal : -1;
    restartBlink();
    ensureCaretVisible();
    q->viewport()->update();
}

bool VerticalView::key(QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (mods & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    const bool ctrl = mods & Qt::ControlModifier;
    const QTextCursor::MoveMode mode = (mods & Qt::ShiftModifier) ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextCursor c = q->textCursor();
    switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const bool up = e->key() == Qt::Key_Up;
        c.movePosition(ctrl ? (up ? QTextCursor::PreviousWord : QTextCursor::NextWord)
                            : (up ? QTextCursor::PreviousCharacter : QTextCursor::NextCharacter),
                       mode);
        moveCursor(c, false, false);
        return true;
    }
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        sync();
        const Spot s = spotOf(c.position(), caretAtColumnEnd());
        if (m_goal < 0)
            m_goal = s.y;
        const bool page = e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown;
        const int step = page ? visibleColumns() : 1;
        const int dir = (e->key() == Qt::Key_Left || e->key() == Qt::Key_PageDown) ? 1 : -1;
        const int total = layout.columnCount();
        const int target = std::clamp(s.global + dir * step, 0, total - 1);
        if (target == s.global) {
            if (page) { // already in the first or the last column: to the start or the end of the text
                c.movePosition(dir > 0 ? QTextCursor::End : QTextCursor::Start, mode);
                moveCursor(c, false, false);
            }
            return true;
        }
        if (page)
            bar->setValue(bar->value() + (target - s.global));
        bool atEnd = false;
        c.setPosition(positionInColumn(target, m_goal, &atEnd), mode);
        moveCursor(c, atEnd, true);
        return true;
    }
    case Qt::Key_Home:
    case Qt::Key_End: {
        const bool home = e->key() == Qt::Key_Home;
        if (ctrl) {
            c.movePosition(home ? QTextCursor::Start : QTextCursor::End, mode);
            moveCursor(c, false, false);
            return true;
        }
        sync();
        const Spot s = spotOf(c.position(), caretAtColumnEnd());
        const auto [first, next] = columnRange(s.global);
        if (home) {
            c.setPosition(first, mode);
            moveCursor(c, false, false);
        } else if (s.column + 1 < s.para->columnCount()) {
            c.setPosition(next, mode); // shown at the end of this column
            moveCursor(c, true, false);
        } else {
            c.setPosition(s.block.position() + s.block.length() - 1, mode);
            moveCursor(c, false, false);
        }
        return true;
    }
    default: return false;
    }
}

// --- mouse -------------------------------------------------------------------------------------------------------

void VerticalView::mouse(QMouseEvent *e)
{
    const QPointF pt = e->position();
    QTextCursor c = q->textCursor();
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        if (layout.compositionBlock().isValid())
            QGuiApplication::inputMethod()->commit();
        bool atEnd = false;
        const int pos = hitTest(pt, &atEnd);
        if (e->button() == Qt::LeftButton) {
            c.setPosition(pos, (e->modifiers() & Qt::ShiftModifier) ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
            moveCursor(c, atEnd, false);
            m_dragging = true;
        } else if (e->button() == Qt::MiddleButton) {
            const QClipboard *clip = QGuiApplication::clipboard();
            if (clip->supportsSelection() && !q->isReadOnly()) {
                c.setPosition(pos);
                moveCursor(c, atEnd, false);
                if (const QMimeData *data = clip->mimeData(QClipboard::Selection))
                    q->insertFromMimeData(data);
            }
        } else if (e->button() == Qt::RightButton) {
            if (pos < c.selectionStart() || pos > c.selectionEnd()) {
                c.setPosition(pos);
                moveCursor(c, atEnd, false);
            }
        }
        e->accept();
        return;
    }
    case QEvent::MouseButtonDblClick: {
        if (e->button() != Qt::LeftButton)
            return;
        c.setPosition(hitTest(pt));
        c.select(QTextCursor::WordUnderCursor);
        moveCursor(c, false, false);
        m_dragging = false;
        e->accept();
        return;
    }
    case QEvent::MouseMove: {
        if (!m_dragging || !(e->buttons() & Qt::LeftButton))
            return;
        const int width = q->viewport()->width();
        if (pt.x() < 0)
            bar->setValue(bar->value() + 1);
        else if (pt.x() >= width)
            bar->setValue(bar->value() - 1);
        const QPointF at(std::clamp<qreal>(pt.x(), 0, width - 1), pt.y());
        bool atEnd = false;
        c.setPosition(hitTest(at, &atEnd), QTextCursor::KeepAnchor);
        moveCursor(c, atEnd, false);
        e->accept();
        return;
    }
    case QEvent::MouseButtonRelease: {
        if (!m_dragging)
            return;
        m_dragging = false;
        QClipboard *clip = QGuiApplication::clipboard();
        if (c.hasSelection() && clip->supportsSelection())
            clip->setText(q->selText(), QClipboard::Selection);
        e->accept();
        return;
    }
    default: return;
    }
}

void VerticalView::wheel(QWheelEvent *e)
{
    const QPoint delta = e->angleDelta();
    const int d = delta.y() != 0 ? delta.y() : delta.x();
    // Three columns a notch; turning the wheel towards the user goes on through the text, to the left.
    const int columns = -d * 3 / 120;
    bar->setValue(bar->value() + (columns != 0 ? columns : (d < 0 ? 1 : d > 0 ? -1 : 0)));
    e->accept();
}

// --- the selection bar along the top edge --------------------------------------------------------------------------

void VerticalView::selectionBarMouse(QMouseEvent *e)
{
    sync();
    const int total = layout.columnCount();
    auto columnAt = [&](qreal at) {
        const int v = bar->value();
        return std::clamp(v + int(std::floor((columnRight(v) - at) / layout.pitch())), 0, total - 1);
    };
    const LineSelectDrag::View view{
        [&](QPointF p) { return columnRange(columnAt(p.x())); },
        [this](QPointF p) {
            const int width = q->viewport()->width();
            if (p.x() < 0)
                bar->setValue(bar->value() + 1);
            else if (p.x() >= width)
                bar->setValue(bar->value() - 1);
            return QPointF(std::clamp<qreal>(p.x(), 0, width - 1), p.y());
        },
        [this](int anchor, int position) {
            QTextCursor c = q->textCursor();
            c.setPosition(anchor);
            c.setPosition(position, QTextCursor::KeepAnchor);
            moveCursor(c, false, false);
        }};
    m_barDrag.mouse(e, view, q);
}

} // namespace zv
