#pragma once
// The document editor: a plain-text editor widget over QPlainTextEdit with the operations the program
// relies on. Positions count characters (QString units) from 0; a line break counts as one position.
// Lines are display lines: with word wrap on, a wrapped paragraph is several lines; in vertical writing
// a display line is a column. The whole text is given and taken with CR LF line breaks.

#include "composition.h" // CompColor
#include "dialogs.h"     // FontSpec
#include <QPlainTextEdit>
#include <array>
#include <functional>
#include <memory>

class QPrinter;

namespace zv {

struct EditorPrivate;
class VerticalLayout;
class VerticalView;

// Editor options and the ways of changing them.
enum : int { ECOOP_SET = 1, ECOOP_OR = 2, ECOOP_AND = 3, ECOOP_XOR = 4 };
enum : unsigned { ECO_SELECTIONBAR = 0x01000000u, ECO_VERTICAL = 0x00400000u };

class Editor : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kTextLimit = 4194303;

    explicit Editor(QWidget *parent = nullptr);
    ~Editor() override;

    // Whole text, CR LF line breaks. setText replaces everything (accepts CR LF, LF or CR breaks); it is one
    // undo step and, if the text differs, sets the modified flag and puts the caret at the start. Neither
    // setText nor loadText is held to the text limit, which applies to typing and pasting only.
    QString text() const;
    void setText(const QString &text);
    // Whole text with '\n' line breaks (the form the file layer works with).
    QString plainText() const;
    bool isEmpty() const; // no text at all (cheap)
    // Size of the whole text in CP932 bytes, each line break counted as 2 (CR LF). Kept current on every
    // change at a cost that follows the paragraphs changed, not the document.
    qint64 byteSize() const;
    // The byte size of one character, used by byteSize(); the default counts < 0x80, U+FF61..U+FF9F and
    // the raw-byte markers U+F700..U+F7FF as 1 and everything else as 2. Setting it recounts the text.
    void setCharByteSize(std::function<int(char16_t)> size);
    // Empties the editor and clears the modified flag and the undo history.
    void clearAll();
    // Loads a text as a freshly read document: no undo history, modified flag clear.
    void loadText(const QString &text);

    // Display lines. lineCount() leaves out an empty last line (an empty editor has 0 lines), lineText(0) of
    // an empty editor is empty. Without word wrap a display line is a paragraph and all of these are
    // cheap. With word wrap, numbering needs the wrapped line counts of the paragraphs before the line;
    // they are counted in the background after a width or font change and kept up to date on edits, but a
    // query for a place not counted yet counts up to it first (lineCount() counts to the end), so test
    // for an empty text with isEmpty(), not lineCount().
    int lineCount() const;
    QString lineText(int line) const;
    int lineFromChar(int pos) const; // index of the display line that holds pos
    int lineIndex(int line) const;   // first position of a display line
    int textLength() const;          // number of positions

    // Selection. Setting the start collapses the selection there; setting the length then extends it from the
    // start and scrolls it into view.
    int selStart() const;
    int selLength() const;
    void setSelStart(int pos);
    void setSelLength(int length);
    QString selText() const;
    void replaceSelection(const QString &text); // the caret follows the new text; one undo step; held to the limit
    void selectAllText();
    // Auto indent: replaces the selection with a line break and the leading characters of value 32 or less
    // (a full-width space ends the run) of the display line holding the selection start, no more of them
    // than the caret's column. One undo step.
    void insertIndentedLineBreak();
    void clearSelection();

    void undoEdit();
    bool canUndoEdit() const;
    bool modified() const;
    void setModified(bool on);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    // Position of the first match of what in [from, to), or -1.
    int findText(const QString &what, int from, int to, bool matchCase) const;

    // Options: op is ECOOP_SET/OR/AND/XOR, flags a combination of ECO_SELECTIONBAR and ECO_VERTICAL.
    // Returns the options now in force. In vertical writing the columns run from top to bottom and follow
    // each other from right to left, a paragraph wrapping at the bottom edge whatever word wrap says; the
    // view scrolls sideways with columnScrollBar() (its start at the right) and the selection bar stands
    // along the top edge.
    unsigned setOptions(int op, unsigned flags);
    unsigned options() const { return m_options; }
    bool selectionBarVisible() const { return m_options & ECO_SELECTIONBAR; }
    bool vertical() const { return m_options & ECO_VERTICAL; }
    // The selection-bar strip (a child widget; hidden while the option is off) and its width in pixels.
    QWidget *selectionBar() const;
    int selectionBarWidth() const;

    // Geometry in viewport coordinates, in either writing direction: the cell of the character at pos, the
    // caret, the position nearest to a point.
    QRectF charRect(int pos) const;
    QRect caretRect() const;
    int positionAt(const QPoint &point) const;
    // The scroll bar through the columns of vertical writing (hidden in horizontal writing) and the
    // columns themselves.
    QScrollBar *columnScrollBar() const;
    VerticalLayout &verticalLayout() const;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    using QPlainTextEdit::inputMethodQuery;

    // Input-method composition colours: entry 0 text being typed, 1 the clause being converted, 2 converted
    // clauses, 3 a clause whose boundary is being changed.
    CompColorTable imeColors() const { return m_imeColors; }
    void setImeColors(const CompColorTable &colors);

    // Tab stops in points. setTabCount asks for n stops and returns the count kept.
    int setTabCount(int n);
    int tabCount() const;
    // A stop is kept as given; tabStop() gives it in whole points (rounded toward zero).
    void setTabStop(int index, qreal points);
    int tabStop(int index) const;
    qreal tabStopPoints(int index) const;
    void beginUpdate();
    void endUpdate();

    // The default character format the text is shown in.
    void setEditorFont(const FontSpec &font);
    FontSpec editorFont() const { return m_font; }
    void setBackgroundColor(unsigned color);
    unsigned backgroundColor() const { return m_background; }

    bool wordWrap() const;
    void setWordWrap(bool on);
    // Scroll bars: vertical only (wrapping) or both.
    void setScrollBarsBoth(bool both);

    // Opens (Japanese input) or closes the input method for this editor where the desktop allows it.
    void setInputMethodOpen(bool open);
    bool inputMethodOpen() const { return m_imeOpen; }

    // Prints the whole text in the current font and tab stops on consecutive pages of the printer.
    void print(QPrinter &printer, const QString &jobTitle) const;

    // Keys the editor must not take for itself because the window's shortcuts own them.
    void setReservedShortcuts(const QList<QKeySequence> &keys);

    // Key-press notification with the typed character code (13 Enter, 9 Tab, 27 Esc, or the character);
    // setting it to 0 swallows the key.
    std::function<void(int &key)> onKeyPress;
    // A file dropped on the editor (the first of the dropped names); the editor never pastes it as text.
    std::function<void(const QString &fileName)> onFileDropped;
    // Typing, a paste, a drop or the input method was refused or shortened at the text limit (after the
    // editor beeped).
    std::function<void()> onTextLimit;

signals:
    void textChangedByUser(); // every change of the text (also by the program)
    void selectionMoved();    // every caret or selection movement

protected:
    void keyPressEvent(QKeyEvent *e) override;
    bool event(QEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void changeEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    friend struct EditorPrivate;
    void selectionBarMouse(QMouseEvent *e);
    qsizetype roomLeft() const; // positions the text limit leaves for what replaces the selection
    // What of a pasted or dropped text goes in: all of it, or at the limit its whole lines that fit.
    QString admitted(const QString &text);
    void textLimitReached(); // a beep, and the program is told
    void updateSelectionBarGeometry();
    void applyTabStops();
    void applyColors();
    void reportSelection();
    friend class VerticalView;
    int m_tag = 0;
    unsigned m_options = 0;
    unsigned m_background = 0xFFFFFF;
    bool m_imeOpen = true;
    FontSpec m_font;
    CompColorTable m_imeColors{};
    QList<qreal> m_tabStops;
    int m_updateDepth = 0;
    QList<QKeySequence> m_reserved;
    class SelectionBar *m_selBar = nullptr;
    VerticalView *m_vertical = nullptr; // the vertical writing view, a child object
    // The scroll bar policies asked for, put back when vertical writing (which hides both) ends.
    Qt::ScrollBarPolicy m_vPolicy = Qt::ScrollBarAsNeeded;
    Qt::ScrollBarPolicy m_hPolicy = Qt::ScrollBarAsNeeded;
    std::unique_ptr<EditorPrivate> d;
};

} // namespace zv
