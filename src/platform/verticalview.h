#pragma once
// The document editor in vertical writing: while the option is on, the editor's viewport shows the
// columns of a VerticalLayout (right to left, the first at the right edge) and this part of the editor
// paints them, scrolls through them with its own scroll bar and maps the mouse and the navigation keys
// onto the same text cursor the horizontal editor uses. Editing itself stays with the editor.

#include "verticalglyphs.h"
#include "selectionbar.h"
#include "verticallayout.h"

#include <QObject>
#include <QPointF>
#include <QRect>
#include <QTextCursor>

class QInputMethodEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QPainter;
class QScrollBar;
class QTimer;
class QWheelEvent;

namespace zv {

class Editor;

class VerticalView : public QObject {
public:
    explicit VerticalView(Editor *editor);

    VerticalLayout layout;
    VerticalGlyphs glyphs{layout};
    QScrollBar *bar; // the columns: value = the first column shown (at the right edge)

    void enter();
    void leave();
    void documentChanged(int from, int removed, int added);
    void compositionChanged(const QInputMethodEvent *e);
    void cursorMoved();
    void focusChanged(bool in);

    // Brings the layout in line with the editor (font, view height, tab stops) and the scroll bar in line
    // with the layout.
    void sync();
    qreal margin() const;
    int visibleColumns() const;
    qreal columnRight(int column) const; // x of the right edge of a column of the document

    // Where a position is shown: its column of the document and its offset along the column. With
    // atColumnEnd a position that starts a wrapped column is shown at the end of the column before.
    struct Spot {
        QTextBlock block;
        std::shared_ptr<const VerticalParagraph> para;
        int index = 0;  // shown index in the paragraph
        int column = 0; // column in the paragraph
        int global = 0; // column in the document
        qreal y = 0;    // offset along the column
    };
    Spot spotOf(int pos, bool atColumnEnd);
    Spot caretSpot(); // the caret's spot, inside the composition while there is one
    QRectF cellRect(int pos);
    QRect caretRect();
    // The cursor rectangle reported to the input method, which places its candidate window by it.
    QRect inputMethodCursorRect();
    // The position nearest to a point of the viewport; atColumnEnd tells that the point lies past the end of
    // a wrapped column.
    int hitTest(const QPointF &p, bool *atColumnEnd = nullptr);
    int positionInColumn(int column, qreal y, bool *atColumnEnd);
    std::pair<int, int> columnRange(int column); // positions: first and the first of the next column

    void paint(QPaintEvent *e);
    bool key(QKeyEvent *e);
    void mouse(QMouseEvent *e);
    void wheel(QWheelEvent *e);
    void selectionBarMouse(QMouseEvent *e);
    void ensureCaretVisible();
    bool caretAtColumnEnd() const;

private:
    void moveCursor(const QTextCursor &c, bool atColumnEnd, bool keepGoal);
    void restartBlink();
    void updateScrollRange();
    void drawColumn(QPainter &p, const QRect &clip, const QTextBlock &block, const VerticalParagraph &para,
                    int column, int global);

    Editor *q;
    QTimer *m_blink;
    bool m_caretOn = true;
    bool m_active = false;
    bool m_moving = false;       // the view itself is moving the cursor
    int m_endPos = -1;           // a caret shown at the end of the column before: its position
    qreal m_goal = -1;           // offset along the column that Left, Right and the page keys keep to
    bool m_dragging = false;
    LineSelectDrag m_barDrag; // on the selection bar along the top edge
    int m_compCursor = 0;        // caret inside the composition
    bool m_compCursorShown = true;
    int m_anchorPos = -1;        // first position shown before a change of the layout's geometry
    bool m_pendingReveal = false; // the caret is to be scrolled into view when the view is shown
};

} // namespace zv
