// The selection bar strip and the line-by-line drag on it.

#include "selectionbar.h"
#include "editor.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

namespace zv {

namespace {
// An arrow pointing up and to the right: the pointer over the selection bar.
QCursor selectionBarCursor(bool vertical)
{
    QPixmap pm(18, 22);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPolygonF arrow({{16.5, 0.5}, {16.5, 15.5}, {12.5, 11.5}, {9.5, 18.5}, {7.0, 17.5}, {10.0, 10.5},
                           {4.5, 10.5}});
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    p.end();
    if (vertical) // along the top edge: turned a quarter clockwise, pointing down and to the right
        return QCursor(pm.transformed(QTransform().rotate(90)), 21, 16);
    return QCursor(pm, 16, 0);
}
} // namespace

QCursor SelectionBar::pointer(bool vertical)
{
    static const QCursor horizontal = selectionBarCursor(false);
    static const QCursor turned = selectionBarCursor(true);
    return vertical ? turned : horizontal;
}

SelectionBar::SelectionBar(Editor *editor) : QWidget(editor), m_editor(editor)
{
    setCursor(pointer(false));
}

QSize SelectionBar::sizeHint() const { return {m_editor->selectionBarWidth(), 0}; }

void SelectionBar::paintEvent(QPaintEvent *e)
{
    QPainter painter(this);
    painter.fillRect(e->rect(), m_editor->palette().color(QPalette::Base));
}

void SelectionBar::mousePressEvent(QMouseEvent *e) { onMouse(e); }
void SelectionBar::mouseMoveEvent(QMouseEvent *e) { onMouse(e); }
void SelectionBar::mouseReleaseEvent(QMouseEvent *e) { onMouse(e); }
void SelectionBar::mouseDoubleClickEvent(QMouseEvent *e) { onMouse(e); }
void SelectionBar::wheelEvent(QWheelEvent *e) { QCoreApplication::sendEvent(m_editor->viewport(), e); }

void LineSelectDrag::mouse(QMouseEvent *e, const View &view, QWidget *focus)
{
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        if (e->button() != Qt::LeftButton)
            return;
        const auto [start, end] = view.lineAt(e->position());
        m_dragging = true;
        m_anchorStart = start;
        m_anchorEnd = end;
        view.select(start, end);
        focus->setFocus(Qt::MouseFocusReason);
        return;
    }
    if (e->type() == QEvent::MouseButtonRelease) {
        m_dragging = false;
        return;
    }
    if (e->type() == QEvent::MouseMove && m_dragging && (e->buttons() & Qt::LeftButton)) {
        const auto [start, end] = view.lineAt(view.follow(e->position()));
        if (start >= m_anchorStart)
            view.select(m_anchorStart, end);
        else
            view.select(m_anchorEnd, start);
    }
}

} // namespace zv
