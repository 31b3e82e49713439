#include "editoraccessible.h"
#include "editor.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace zv {

namespace {

// The editor's accessible text. Offsets are the editor's positions; a paragraph break reads as "\n".
// Character rectangles come from the editor's own geometry, which knows the writing direction, so in
// vertical writing a character further on in a column lies lower and the next column lies to the left.
class EditorAccessible : public QAccessibleWidget,
                         public QAccessibleTextInterface,
                         public QAccessibleEditableTextInterface {
public:
    explicit EditorAccessible(Editor *editor) : QAccessibleWidget(editor, QAccessible::EditableText) {}

    Editor *editor() const { return static_cast<Editor *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface && !editor()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        s.editable = !editor()->isReadOnly();
        s.readOnly = editor()->isReadOnly();
        return s;
    }

    // --- text ---
    int characterCount() const override { return editor()->document()->characterCount() - 1; }

    QString text(int start, int end) const override
    {
        const int n = characterCount();
        start = std::clamp(start, 0, n);
        end = end < 0 ? n : std::clamp(end, start, n);
        QTextCursor c(editor()->document());
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        QString s = c.selectedText();
        s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        return s;
    }

    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return QString();
    }

    // --- caret and selection ---
    int cursorPosition() const override { return editor()->textCursor().position(); }

    void setCursorPosition(int position) override
    {
        QTextCursor c = editor()->textCursor();
        c.setPosition(std::clamp(position, 0, characterCount()));
        editor()->setTextCursor(c);
    }

    int selectionCount() const override { return editor()->textCursor().hasSelection() ? 1 : 0; }

    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        const QTextCursor c = editor()->textCursor();
        if (index == 0 && c.hasSelection()) {
            *start = c.selectionStart();
            *end = c.selectionEnd();
        }
    }

    void setSelection(int index, int start, int end) override
    {
        if (index != 0)
            return;
        const int n = characterCount();
        QTextCursor c = editor()->textCursor();
        c.setPosition(std::clamp(start, 0, n));
        c.setPosition(std::clamp(end, 0, n), QTextCursor::KeepAnchor);
        editor()->setTextCursor(c);
    }

    void addSelection(int start, int end) override { setSelection(0, start, end); }

    void removeSelection(int index) override
    {
        if (index != 0)
            return;
        QTextCursor c = editor()->textCursor();
        c.clearSelection();
        editor()->setTextCursor(c);
    }

    // --- geometry, in screen coordinates ---
    QRect characterRect(int offset) const override
    {
        if (offset < 0 || offset > characterCount())
            return QRect();
        const QRect r = editor()->charRect(offset).toAlignedRect();
        return QRect(editor()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = editor()->viewport()->mapFromGlobal(point);
        if (!editor()->viewport()->rect().contains(local))
            return -1;
        // The caret position nearest the point may be the one after the character under it (its lower or
        // left half): the character is the one whose box holds the point.
        const int position = editor()->positionAt(local);
        if (position > 0 && !editor()->charRect(position).contains(QPointF(local)) &&
            editor()->charRect(position - 1).contains(QPointF(local)))
            return position - 1;
        return position;
    }

    void scrollToSubstring(int start, int end) override
    {
        editor()->setSelStart(std::clamp(start, 0, characterCount()));
        editor()->setSelLength(std::max(0, std::min(end, characterCount()) - editor()->selStart()));
    }

    // --- editing, as typing would do it ---
    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString &text) override
    {
        const int n = characterCount();
        editor()->setSelStart(std::clamp(start, 0, n));
        editor()->setSelLength(std::max(0, std::min(end, n) - editor()->selStart()));
        editor()->replaceSelection(text);
    }
};

QAccessibleInterface *editorFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("zv::Editor") && object && object->isWidgetType())
        if (auto *editor = qobject_cast<Editor *>(object))
            return new EditorAccessible(editor);
    return nullptr;
}

} // namespace

void installEditorAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(editorFactory);
}

} // namespace zv
