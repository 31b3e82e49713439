#pragma once
// Private parts of the document editor: the selection bar strip and the per-paragraph bookkeeping.

#include <QCursor>
#include <QWidget>

namespace zv {

class Editor;

// The strip at the left edge of the editor (the top edge in vertical writing) in which a click selects
// whole display lines. It paints and handles the mouse by calling back into the editor.
class SelectionBar : public QWidget {
public:
    explicit SelectionBar(Editor *editor);
    QSize sizeHint() const override;
    static QCursor pointer(bool vertical); // the mouse pointer over the strip

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

} // namespace zv
