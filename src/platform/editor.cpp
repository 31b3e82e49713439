// The document editor: QPlainTextEdit with its public operations and the routing of its events to the
// parts that do the work (display lines, byte count, selection bar, compositions, vertical writing).

#include "editor.h"
#include "bytecount.h"
#include "colors.h"
#include "documenttext.h"
#include "monospacefont.h"
#include "displaylines.h"
#include "selectionbar.h"
#include "tabstops.h"
#include "textcodec.h"
#include "textprint.h"
#include "verticalview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace zv {

namespace {

// An undo record that does nothing. Placed at the end of a program edit, it keeps the typing that
// follows from being merged into that edit's undo step.
class UndoBarrier : public QAbstractUndoItem {
public:
    void undo() override {}
    void redo() override {}
};

QString firstLocalFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls)
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

} // namespace

struct EditorPrivate {
    explicit EditorPrivate(Editor *editor)
        : q(editor), bytes(editor->document()),
          lines(editor->document(), editor->viewport(),
                [editor] { return editor->lineWrapMode() != QPlainTextEdit::NoWrap && !editor->vertical(); })
    {
    }

    Editor *q;
    ByteCount bytes;
    DisplayLineIndex lines;
    LineSelectDrag barDrag;
    quint64 changeSerial = 0;
    mutable QString rawCache;
    mutable quint64 rawSerial = ~quint64(0);
    int lastAnchor = -1;
    int lastPosition = -1;
    bool changedSinceReport = true;
    bool tabsPending = false;

    QTextDocument *doc() const { return q->document(); }

    const QString &rawText() const
    {
        if (rawSerial != changeSerial) {
            rawCache = doc()->toRawText();
            rawSerial = changeSerial;
        }
        return rawCache;
    }

    // The screen cell of character i of a laid-out visible block whose geometry (viewport coordinates)
    // is given. Painting goes through here, so that another line direction only needs another mapping.
    QRectF cellRect(const QTextBlock &block, const QRectF &geometry, int i) const
    {
        const QTextLine line = block.layout()->lineForTextPosition(i);
        if (!line.isValid())
            return {};
        const qreal x1 = line.cursorToX(i);
        const qreal x2 = line.cursorToX(i + 1);
        return {geometry.left() + std::min(x1, x2), geometry.top() + line.y(), std::abs(x2 - x1), line.height()};
    }

    // Bytes the file layer could not decode are shown as a small framed box holding the byte in hex,
    // drawn over whatever glyph the font has for the marker character.
    void paintRawBytes(QPainter &painter, const QRect &clip) const
    {
        QFont small = q->font();
        small.setPointSizeF(std::max(4.0, small.pointSizeF() * 0.55));
        small.setUnderline(false);
        small.setStrikeOut(false);
        small.setBold(false);
        small.setItalic(false);
        painter.setFont(small);
        const QTextCursor cursor = q->textCursor();
        const QPalette pal = q->palette();
        const QPointF offset = q->contentOffset();
        for (QTextBlock block = q->firstVisibleBlock(); block.isValid(); block = block.next()) {
            const QRectF geometry = q->blockBoundingGeometry(block).translated(offset);
            if (geometry.top() > clip.bottom())
                break;
            if (!block.isVisible() || geometry.bottom() < clip.top())
                continue;
            const QString t = block.text();
            for (int i = 0; i < t.size(); ++i) {
                if (!isOpaqueByte(t.at(i)))
                    continue;
                QRectF box = cellRect(block, geometry, i);
                if (box.isEmpty() || !box.intersects(clip))
                    continue;
                const int pos = block.position() + i;
                const bool selected = pos >= cursor.selectionStart() && pos < cursor.selectionEnd();
                painter.fillRect(box, pal.color(selected ? QPalette::Highlight : QPalette::Base));
                box.adjust(0.5, 1.5, -0.5, -1.5);
                painter.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
                painter.drawRect(box);
                painter.drawText(box, Qt::AlignCenter,
                                 QString::number(opaqueByteValue(t.at(i)), 16).rightJustified(2, u'0').toUpper());
            }
        }
    }

    int textLength() const { return doc()->characterCount() - 1; }

    // Start and end (the start of the next display line, or the end of the text) of the display line
    // shown at viewport height y.
    std::pair<int, int> displayLineAt(int y) const
    {
        const QTextCursor c = q->cursorForPosition(QPoint(0, y));
        const QTextBlock block = c.block();
        lines.layOut(block);
        const QTextLayout *layout = block.layout();
        const QRectF geometry = q->blockBoundingGeometry(block).translated(q->contentOffset());
        int index = layout->lineCount() - 1;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (y < geometry.top() + line.y() + line.height()) {
                index = i;
                break;
            }
        }
        index = std::max(index, 0);
        const int start = block.position() + (layout->lineCount() ? layout->lineAt(index).textStart() : 0);
        int end = index + 1 < layout->lineCount() ? block.position() + layout->lineAt(index + 1).textStart()
                                                  : block.position() + block.length();
        end = std::min(end, textLength());
        return {start, end};
    }
};

// ---------------------------------------------------------------------------------------------------------

Editor::Editor(QWidget *parent) : QPlainTextEdit(parent), d(std::make_unique<EditorPrivate>(this))
{
    m_imeColors = {CompColor{0xFF0000, 0xFFFFFF, 0}, CompColor{0x000000, 0xFFFF00, 0},
                   CompColor{0xFF0000, 0xFFFFFF, 0}, CompColor{0x000000, 0x00FFFF, 0}};
    setAcceptDrops(true);
    setTabChangesFocus(false);
    setUndoRedoEnabled(true);
    m_selBar = new SelectionBar(this);
    m_selBar->hide();
    m_vertical = new VerticalView(this);
    m_vertical->layout.setRawTextSource([this]() -> const QString & { return d->rawText(); });
    m_selBar->onMouse = [this](QMouseEvent *e) { selectionBarMouse(e); };

    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int removed, int added) {
        ++d->changeSerial;
        d->rawCache = QString();
        d->changedSinceReport = true;
        m_vertical->documentChanged(from, removed, added);
    });
    connect(this, &QPlainTextEdit::textChanged, this, &Editor::textChangedByUser);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &Editor::reportSelection);
    connect(this, &QPlainTextEdit::selectionChanged, this, &Editor::reportSelection);
    connect(this, &QPlainTextEdit::cursorPositionChanged, m_vertical, [this] { m_vertical->cursorMoved(); });
    connect(this, &QPlainTextEdit::selectionChanged, m_vertical, [this] { m_vertical->cursorMoved(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (!m_selBar->isVisible() || vertical())
            return;
        if (dy)
            m_selBar->scroll(0, dy);
        else
            m_selBar->update(0, rect.y(), m_selBar->width(), rect.height());
    });
    setEditorFont(m_font);
    applyColors();
}

Editor::~Editor() = default;

// --- whole text ----------------------------------------------------------------------------------------------

QString Editor::text() const { return withCrLfBreaks(d->rawText()); }

QString Editor::plainText() const
{
    QString out = d->rawText();
    out.replace(kParagraphSeparator, u'\n');
    return out;
}

bool Editor::isEmpty() const { return document()->characterCount() <= 1; }

qint64 Editor::byteSize() const
{
    return d->bytes.total();
}

void Editor::setCharByteSize(std::function<int(char16_t)> size)
{
    d->bytes.setCharByteSize(size);
}

void Editor::setText(const QString &text)
{
    if (toDocumentBreaks(text) == d->rawText())
        return;
    QTextCursor c(document());
    c.beginEditBlock();
    c.select(QTextCursor::Document);
    c.insertText(text);
    document()->appendUndoItem(new UndoBarrier);
    c.endEditBlock();
    c.setPosition(0);
    setTextCursor(c);
    document()->setModified(true);
}

void Editor::clearAll() { loadText(QString()); }

void Editor::loadText(const QString &text)
{
    setPlainText(text);
    document()->clearUndoRedoStacks();
    document()->setModified(false);
}

// --- display lines -------------------------------------------------------------------------------------------

int Editor::textLength() const { return d->textLength(); }

int Editor::lineCount() const
{
    if (!vertical())
        return d->lines.lineCount();
    m_vertical->sync();
    int n = m_vertical->layout.columnCount();
    if (document()->lastBlock().length() <= 1)
        --n;
    return std::max(n, 0);
}

QString Editor::lineText(int line) const
{
    if (!vertical())
        return d->lines.lineText(line);
    if (line < 0)
        return {};
    m_vertical->sync();
    VerticalLayout &layout = m_vertical->layout;
    if (line >= layout.columnCount())
        return {};
    const auto [number, column] = layout.locate(line);
    const QTextBlock b = document()->findBlockByNumber(number);
    const auto para = layout.paragraph(b);
    const int first = para->position(para->starts[size_t(column)]);
    return b.text().mid(first, para->position(para->columnEnd(column)) - first);
}

int Editor::lineFromChar(int pos) const
{
    if (!vertical())
        return d->lines.lineFromChar(pos);
    m_vertical->sync();
    return m_vertical->spotOf(std::clamp(pos, 0, textLength()), false).global;
}

int Editor::lineIndex(int line) const
{
    if (!vertical())
        return d->lines.lineIndex(line);
    if (line < 0)
        return -1;
    m_vertical->sync();
    if (line >= m_vertical->layout.columnCount())
        return -1;
    return m_vertical->columnRange(line).first;
}

// --- selection -----------------------------------------------------------------------------------------------

int Editor::selStart() const { return textCursor().selectionStart(); }

int Editor::selLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void Editor::setSelStart(int pos)
{
    QTextCursor c = textCursor();
    c.setPosition(std::clamp(pos, 0, textLength()));
    setTextCursor(c);
}

void Editor::setSelLength(int length)
{
    const int start = selStart();
    const int end = std::clamp(start + std::max(length, 0), 0, textLength());
    QTextCursor c = textCursor();
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

QString Editor::selText() const
{
    QString s = textCursor().selectedText();
    s.replace(kParagraphSeparator, QStringLiteral("\r\n"));
    return s;
}

void Editor::replaceSelection(const QString &text)
{
    QTextCursor c = textCursor();
    const QString insert = admitted(text);
    if (insert.isEmpty() && !c.hasSelection())
        return;
    c.beginEditBlock();
    c.insertText(insert);
    document()->appendUndoItem(new UndoBarrier);
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
}

qsizetype Editor::roomLeft() const { return qsizetype(kTextLimit) - (textLength() - selLength()); }

QString Editor::admitted(const QString &text)
{
    const qsizetype room = roomLeft();
    if (positionsOf(text) <= room)
        return text;
    textLimitReached();
    return wholeLinesWithin(text, room);
}

void Editor::textLimitReached()
{
    QApplication::beep();
    if (onTextLimit)
        onTextLimit();
}

void Editor::selectAllText() { selectAll(); }

void Editor::clearSelection()
{
    QTextCursor c = textCursor();
    if (!c.hasSelection())
        return;
    c.beginEditBlock();
    c.removeSelectedText();
    document()->appendUndoItem(new UndoBarrier);
    c.endEditBlock();
    setTextCursor(c);
}

void Editor::reportSelection()
{
    const QTextCursor c = textCursor();
    if (!d->changedSinceReport && c.anchor() == d->lastAnchor && c.position() == d->lastPosition)
        return;
    d->lastAnchor = c.anchor();
    d->lastPosition = c.position();
    d->changedSinceReport = false;
    emit selectionMoved();
}

// --- undo and modified flag ----------------------------------------------------------------------------------

void Editor::undoEdit() { undo(); }
bool Editor::canUndoEdit() const { return document()->isUndoAvailable(); }
bool Editor::modified() const { return document()->isModified(); }
void Editor::setModified(bool on) { document()->setModified(on); }

// --- find ----------------------------------------------------------------------------------------------------

int Editor::findText(const QString &what, int from, int to, bool matchCase) const
{
    const int length = textLength();
    from = std::clamp(from, 0, length);
    if (to < 0 || to > length)
        to = length;
    if (what.isEmpty() || from >= to)
        return -1;
    const QString pattern = toDocumentBreaks(what);
    const QString &raw = d->rawText();
    const QStringView range(raw.constData() + from, to - from);
    const qsizetype at = range.indexOf(pattern, 0, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
    return at < 0 ? -1 : from + int(at);
}

// --- options -------------------------------------------------------------------------------------------------

unsigned Editor::setOptions(int op, unsigned flags)
{
    flags &= ECO_SELECTIONBAR | ECO_VERTICAL;
    const bool wasVertical = vertical();
    switch (op) {
    case ECOOP_SET: m_options = flags; break;
    case ECOOP_OR: m_options |= flags; break;
    case ECOOP_AND: m_options &= flags; break;
    case ECOOP_XOR: m_options ^= flags; break;
    default: break;
    }
    if (vertical() && !wasVertical) {
        // The horizontal view's scroll bars give way to the scroll bar through the columns.
        m_vPolicy = verticalScrollBarPolicy();
        m_hPolicy = horizontalScrollBarPolicy();
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        updateSelectionBarGeometry();
        m_vertical->enter();
    } else if (!vertical() && wasVertical) {
        m_vertical->leave();
        setVerticalScrollBarPolicy(m_vPolicy);
        setHorizontalScrollBarPolicy(m_hPolicy);
        updateSelectionBarGeometry();
        d->lines.invalidateAll();
        ensureCursorVisible();
    } else {
        updateSelectionBarGeometry();
    }
    viewport()->update();
    return m_options;
}

QWidget *Editor::selectionBar() const { return m_selBar; }

int Editor::selectionBarWidth() const { return std::max(8, logicalDpiX() / 8); }

void Editor::updateSelectionBarGeometry()
{
    const bool on = selectionBarVisible();
    const int w = on ? selectionBarWidth() : 0;
    const QRect cr = contentsRect();
    if (vertical()) {
        // The selection bar along the top edge, where the columns start; the columns' scroll bar at the bottom.
        QScrollBar *bar = m_vertical->bar;
        const int h = bar->sizeHint().height();
        setViewportMargins(0, w, 0, h);
        m_selBar->setGeometry(cr.left(), cr.top(), cr.width(), w);
        bar->setGeometry(cr.left(), cr.bottom() + 1 - h, cr.width(), h);
        bar->show();
    } else {
        setViewportMargins(w, 0, 0, 0);
        m_selBar->setGeometry(cr.left(), cr.top(), w, cr.height());
        m_vertical->bar->hide();
    }
    m_selBar->setVisible(on);
    m_selBar->setCursor(SelectionBar::pointer(vertical()));
}

void Editor::setImeColors(const CompColorTable &colors) { m_imeColors = colors; }

// --- tab stops -----------------------------------------------------------------------------------------------

namespace {
constexpr int kMaxTabStops = 100;
}

int Editor::setTabCount(int n)
{
    n = std::clamp(n, 0, kMaxTabStops);
    m_tabStops.resize(n);
    applyTabStops();
    return n;
}

int Editor::tabCount() const { return int(m_tabStops.size()); }

void Editor::setTabStop(int index, qreal points)
{
    if (index < 0 || index >= m_tabStops.size())
        return;
    m_tabStops[index] = points;
    applyTabStops();
}

int Editor::tabStop(int index) const { return int(tabStopPoints(index)); }

qreal Editor::tabStopPoints(int index) const
{
    return index >= 0 && index < m_tabStops.size() ? m_tabStops[index] : 0;
}

void Editor::beginUpdate()
{
    if (m_updateDepth++ == 0)
        viewport()->setUpdatesEnabled(false);
}

void Editor::endUpdate()
{
    if (m_updateDepth == 0 || --m_updateDepth > 0)
        return;
    if (d->tabsPending)
        applyTabStops();
    viewport()->setUpdatesEnabled(true);
    viewport()->update();
}

void Editor::applyTabStops()
{
    if (m_updateDepth > 0) {
        d->tabsPending = true;
        return;
    }
    d->tabsPending = false;
    QTextOption opt = document()->defaultTextOption();
    if (!zv::applyTabStops(opt, m_tabStops, logicalDpiX()))
        return;
    document()->setDefaultTextOption(opt);
    d->lines.invalidateAll();
}

// --- font, colours, wrap -------------------------------------------------------------------------------------

void Editor::setEditorFont(const FontSpec &wanted)
{
    m_font = wanted;
    // The default face is the Japanese monospace one, on its exact two-to-one grid on this screen.
    setFont(shownFont(wanted, viewport()));
    applyColors();
}

void Editor::setBackgroundColor(unsigned color)
{
    m_background = color;
    applyColors();
}

void Editor::applyColors()
{
    QPalette p = palette();
    const QColor text = toQColor(m_font.color);
    const QColor base = toQColor(m_background);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Base, base);
    }
    setPalette(p);
    m_selBar->update();
}

bool Editor::wordWrap() const { return lineWrapMode() != NoWrap; }

void Editor::setWordWrap(bool on)
{
    setLineWrapMode(on ? WidgetWidth : NoWrap);
    d->lines.invalidateAll();
}

void Editor::setScrollBarsBoth(bool both)
{
    m_vPolicy = Qt::ScrollBarAsNeeded;
    m_hPolicy = both ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    if (vertical()) // vertical writing keeps them hidden; they come back when it ends
        return;
    setVerticalScrollBarPolicy(m_vPolicy);
    setHorizontalScrollBarPolicy(m_hPolicy);
}

void Editor::setInputMethodOpen(bool open)
{
    m_imeOpen = open;
    Qt::InputMethodHints hints = inputMethodHints();
    if (open)
        hints &= ~(Qt::ImhLatinOnly | Qt::ImhPreferLatin);
    else
        hints |= Qt::ImhLatinOnly | Qt::ImhPreferLatin;
    setInputMethodHints(hints);
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImHints);
}

// --- printing ------------------------------------------------------------------------------------------------

void Editor::print(QPrinter &printer, const QString &jobTitle) const
{
    // The stops go to the page in columns of spaces, so that they fall there where they fall on screen
    // in characters, whatever the page's font measures.
    const qreal space = QFontMetricsF(font(), viewport()).horizontalAdvance(QLatin1Char(' '));
    QList<qreal> columns;
    for (qreal points : m_tabStops)
        columns.append(space > 0 ? points * logicalDpiX() / 72.0 / space : 0);
    printText(printer, jobTitle, *document(), shownFont(m_font, &printer), toQColor(m_font.color), columns,
              vertical());
}

void Editor::setReservedShortcuts(const QList<QKeySequence> &keys) { m_reserved = keys; }

// --- events --------------------------------------------------------------------------------------------------

void Editor::keyPressEvent(QKeyEvent *e)
{
    if (vertical() && m_vertical->key(e)) {
        e->accept();
        return;
    }
    // Alt with a character key is a menu's access key, which the window has taken, or nothing: it never
    // types the character.
    const QString typed = e->text();
    if ((e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier)
        && ((e->key() >= Qt::Key_Space && e->key() <= Qt::Key_ydiaeresis) || (!typed.isEmpty() && typed.at(0).isPrint()))) {
        e->ignore();
        return;
    }
    int code = 0;
    const bool ctrlOrAlt = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: code = 13; break;
    case Qt::Key_Tab: code = ctrlOrAlt ? 0 : 9; break;
    case Qt::Key_Escape: code = 27; break;
    default: {
        const QString t = e->text();
        if (!t.isEmpty() && t.at(0).unicode() >= 0x20 && t.at(0).unicode() != 0x7F)
            code = int(t.toUcs4().value(0));
        break;
    }
    }
    if (code && onKeyPress) {
        int key = code;
        const QPointer<Editor> self(this);
        onKeyPress(key);
        if (!self)
            return;
        if (key == 0) {
            e->accept();
            return;
        }
        if (key != code) {
            e->accept();
            const QString s = key == 13 ? QStringLiteral("\n") : QString::fromUcs4(reinterpret_cast<const char32_t *>(&key), 1);
            if (roomLeft() < 1)
                textLimitReached();
            else
                insertPlainText(s);
            return;
        }
    }
    if (code && code != 27 && roomLeft() < 1) {
        textLimitReached();
        e->accept();
        return;
    }
    if (code == 13) {
        // Every Enter key (with Shift, Ctrl or on the keypad too) breaks the line with a normal line
        // break: the text control would put a line separator for some, which no file can hold.
        e->accept();
        insertPlainText(QStringLiteral("\n"));
        ensureCursorVisible();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

bool Editor::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride && !m_reserved.isEmpty()) {
        auto *ke = static_cast<QKeyEvent *>(e);
        const Qt::KeyboardModifiers mods =
            ke->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QKeyCombination pressed(mods, Qt::Key(ke->key()));
        for (const QKeySequence &k : std::as_const(m_reserved)) {
            if (k.count() == 1 && k[0] == pressed) {
                e->ignore();
                return true;
            }
        }
    }
    return QPlainTextEdit::event(e);
}

void Editor::dragEnterEvent(QDragEnterEvent *e)
{
    if (!firstLocalFile(e->mimeData()).isEmpty()) {
        e->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragEnterEvent(e);
}

void Editor::dragMoveEvent(QDragMoveEvent *e)
{
    if (!firstLocalFile(e->mimeData()).isEmpty()) {
        e->acceptProposedAction();
        return;
    }
    if (vertical()) { // text lands where the pointer is; the caret shows it
        if (!canInsertFromMimeData(e->mimeData()) || isReadOnly()) {
            e->ignore();
            return;
        }
        QTextCursor c = textCursor();
        c.setPosition(positionAt(e->position().toPoint()));
        setTextCursor(c);
        e->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragMoveEvent(e);
}

void Editor::dropEvent(QDropEvent *e)
{
    const QString file = firstLocalFile(e->mimeData());
    if (!file.isEmpty()) {
        e->acceptProposedAction();
        if (onFileDropped)
            onFileDropped(file);
        return;
    }
    if (vertical()) {
        if (!canInsertFromMimeData(e->mimeData()) || isReadOnly())
            return;
        QTextCursor c = textCursor();
        c.setPosition(positionAt(e->position().toPoint()));
        setTextCursor(c);
        insertFromMimeData(e->mimeData());
        e->acceptProposedAction();
        setFocus(Qt::MouseFocusReason);
        return;
    }
    QPlainTextEdit::dropEvent(e);
}

bool Editor::canInsertFromMimeData(const QMimeData *source) const
{
    if (!firstLocalFile(source).isEmpty())
        return false;
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void Editor::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || !firstLocalFile(source).isEmpty())
        return;
    const QString text = source->text();
    insertPlainText(admitted(text));
}

// The input method's formats are replaced by the colours of the composition's parts.
void Editor::inputMethodEvent(QInputMethodEvent *e)
{
    const QString preedit = e->preeditString();
    const QList<QInputMethodEvent::Attribute> attrs =
        compositionAttributes(int(preedit.size()), e->attributes(), m_imeColors);
    // What the input method commits is typing: it stops at the text limit.
    QString commit = e->commitString();
    const qsizetype room = roomLeft();
    if (positionsOf(commit) > room) {
        textLimitReached();
        commit = truncatedToPositions(commit, room);
    }
    QInputMethodEvent rewritten(preedit, attrs);
    rewritten.setCommitString(commit, e->replacementStart(), e->replacementLength());
    QPlainTextEdit::inputMethodEvent(&rewritten);
    e->setAccepted(rewritten.isAccepted());
    m_vertical->compositionChanged(&rewritten);
}

void Editor::resizeEvent(QResizeEvent *e)
{
    QPlainTextEdit::resizeEvent(e);
    updateSelectionBarGeometry();
    if (vertical())
        viewport()->update();
}

void Editor::changeEvent(QEvent *e)
{
    QPlainTextEdit::changeEvent(e);
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) {
        d->lines.invalidateAll();
        updateSelectionBarGeometry();
        if (vertical())
            viewport()->update();
    }
}

void Editor::paintEvent(QPaintEvent *e)
{
    if (vertical()) {
        m_vertical->paint(e);
        return;
    }
    QPlainTextEdit::paintEvent(e);
    QPainter painter(viewport());
    d->paintRawBytes(painter, e->rect());
}

// --- selection bar -------------------------------------------------------------------------------------------

void Editor::selectionBarMouse(QMouseEvent *e)
{
    if (vertical()) {
        m_vertical->selectionBarMouse(e);
        return;
    }
    const LineSelectDrag::View view{
        [this](QPointF p) { return d->displayLineAt(int(p.y())); },
        [this](QPointF p) {
            const int y = int(p.y());
            if (y < 0)
                verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            else if (y >= viewport()->height())
                verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return QPointF(p.x(), std::clamp(y, 0, std::max(0, viewport()->height() - 1)));
        },
        [this](int anchor, int position) {
            QTextCursor c = textCursor();
            c.setPosition(anchor);
            c.setPosition(position, QTextCursor::KeepAnchor);
            setTextCursor(c);
        }};
    d->barDrag.mouse(e, view, this);
}

// --- vertical writing ----------------------------------------------------------------------------------------

QRectF Editor::charRect(int pos) const
{
    pos = std::clamp(pos, 0, textLength());
    if (vertical())
        return m_vertical->cellRect(pos);
    const QTextBlock block = document()->findBlock(pos);
    d->lines.layOut(block);
    const QRectF geometry = blockBoundingGeometry(block).translated(contentOffset());
    return d->cellRect(block, geometry, pos - block.position());
}

QRect Editor::caretRect() const { return vertical() ? m_vertical->caretRect() : cursorRect(); }

int Editor::positionAt(const QPoint &point) const
{
    return vertical() ? m_vertical->hitTest(point) : cursorForPosition(point).position();
}

QScrollBar *Editor::columnScrollBar() const { return m_vertical->bar; }

VerticalLayout &Editor::verticalLayout() const { return m_vertical->layout; }

void Editor::mousePressEvent(QMouseEvent *e)
{
    if (vertical())
        m_vertical->mouse(e);
    else
        QPlainTextEdit::mousePressEvent(e);
}

void Editor::mouseMoveEvent(QMouseEvent *e)
{
    if (vertical())
        m_vertical->mouse(e);
    else
        QPlainTextEdit::mouseMoveEvent(e);
}

void Editor::mouseReleaseEvent(QMouseEvent *e)
{
    if (vertical())
        m_vertical->mouse(e);
    else
        QPlainTextEdit::mouseReleaseEvent(e);
}

void Editor::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (vertical())
        m_vertical->mouse(e);
    else
        QPlainTextEdit::mouseDoubleClickEvent(e);
}

void Editor::wheelEvent(QWheelEvent *e)
{
    if (vertical())
        m_vertical->wheel(e);
    else
        QPlainTextEdit::wheelEvent(e);
}

void Editor::focusInEvent(QFocusEvent *e)
{
    QPlainTextEdit::focusInEvent(e);
    m_vertical->focusChanged(true);
}

void Editor::focusOutEvent(QFocusEvent *e)
{
    QPlainTextEdit::focusOutEvent(e);
    m_vertical->focusChanged(false);
}

void Editor::scrollContentsBy(int dx, int dy)
{
    QPlainTextEdit::scrollContentsBy(dx, dy);
    // The horizontal view still follows the caret with its hidden scroll bars in vertical writing; the
    // pixels it moves are painted over at once.
    if (vertical())
        viewport()->update();
}

QVariant Editor::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (vertical() && (query == Qt::ImCursorRectangle || query == Qt::ImAnchorRectangle)) {
        QRect r = query == Qt::ImCursorRectangle ? m_vertical->inputMethodCursorRect() : m_vertical->caretRect();
        if (query == Qt::ImAnchorRectangle) {
            const QTextCursor c = textCursor();
            if (c.anchor() != c.position()) {
                const QRectF cell = m_vertical->cellRect(c.anchor());
                r.moveTop(int(std::lround(cell.top())));
                r.moveLeft(int(std::floor(cell.center().x() - r.width() / 2.0)));
            }
        }
        return QVariant(r.translated(viewport()->pos()));
    }
    return QPlainTextEdit::inputMethodQuery(query);
}

void Editor::insertIndentedLineBreak()
{
    const int start = selStart();
    const int line = lineFromChar(start);
    const int column = start - lineIndex(line);
    const QString text = lineText(line);
    int lead = 0;
    while (lead < text.size() && text.at(lead).unicode() <= 32)
        ++lead;
    replaceSelection(QLatin1Char('\n') + text.left(std::min(lead, column)));
}

} // namespace zv
