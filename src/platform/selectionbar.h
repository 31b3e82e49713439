#pragma once
// The selection bar: the strip at the left edge of the editor (the top edge in vertical writing) in which a
// click selects a whole display line and a drag extends the selection line by line. The strip itself only
// paints and passes the mouse on; the drag is one handler that both writing directions feed with their own
// geometry.

#include <QCursor>
#include <QPointF>
#include <QWidget>

#include <functional>
#include <utility>

class QMouseEvent;

namespace zv {

class Editor;

class SelectionBar : public QWidget {
public:
    explicit SelectionBar(Editor *editor);
    QSize sizeHint() const override;
    static QCursor pointer(bool vertical); // the mouse pointer over the strip

    // Every mouse press, move, release and double click on the strip.
    std::function<void(QMouseEvent *)> onMouse;

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    Editor *m_editor;
};

// Selecting whole lines by pressing on the selection bar and dragging along it. The line under the press
// is the anchor: dragging forwards selects from its start to the end of the line under the pointer,
// dragging backwards from its end to the start of that line.
class LineSelectDrag {
public:
    struct View {
        // The first position of the line under a point of the strip and the first of the next line.
        std::function<std::pair<int, int>(QPointF)> lineAt;
        // During a drag: scrolls one line on when the point is past the view, and gives the point held
        // inside the view.
        std::function<QPointF(QPointF)> follow;
        // Sets the selection from anchor to position.
        std::function<void(int anchor, int position)> select;
    };

    // Handles a mouse event on the strip; a left press also gives focus the keyboard focus.
    void mouse(QMouseEvent *e, const View &view, QWidget *focus);
    void cancel() { m_dragging = false; }

private:
    bool m_dragging = false;
    int m_anchorStart = 0;
    int m_anchorEnd = 0;
};

} // namespace zv
