// The document editor: QPlainTextEdit with display-line numbering, CP932 byte counting, the selection
// bar, input-method composition colours, raw-byte boxes, tab stops in points, drops and printing.

#include "editor.h"
#include "colors.h"
#include "editor_p.h"
#include "verticalview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QElapsedTimer>
#include <QFontMetricsF>

#include <algorithm>
#include <climits>
#include <cmath>

namespace zv {

namespace {

constexpr QChar kParagraphSeparator = QChar::ParagraphSeparator; // how the document keeps line breaks

int defaultCharByteSize(char16_t c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xFF61 && c <= 0xFF9F) // half-width katakana
        return 1;
    if (c >= 0xF700 && c <= 0xF7FF) // a raw byte the file layer could not decode
        return 1;
    return 2;
}

bool isRawByteMarker(QChar c) { return c.unicode() >= 0xF700 && c.unicode() <= 0xF7FF; }

// The running total of the character bytes of all paragraphs. Shared with every paragraph's record so
// that a record removed with its paragraph takes its bytes off the total, whenever that happens.
struct ByteTally {
    qint64 charBytes = 0;
};

class BlockInfo : public QTextBlockUserData {
public:
    explicit BlockInfo(std::shared_ptr<ByteTally> tally) : m_tally(std::move(tally)) {}
    ~BlockInfo() override { m_tally->charBytes -= bytes; }
    qint64 bytes = 0;

private:
    std::shared_ptr<ByteTally> m_tally;
};

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

// Turns CR LF, CR and LF into the document's paragraph separator.
QString toDocumentBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const QChar *p = text.constData();
    const QChar *end = p + text.size();
    for (; p < end; ++p) {
        if (*p == u'\r') {
            out.append(kParagraphSeparator);
            if (p + 1 < end && p[1] == u'\n')
                ++p;
        } else if (*p == u'\n') {
            out.append(kParagraphSeparator);
        } else {
            out.append(*p);
        }
    }
    return out;
}

// Number of positions a text takes once inserted (CR LF is one position).
qsizetype positionsOf(const QString &text)
{
    qsizetype n = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text.at(i) == u'\r' && text.at(i + 1) == u'\n')
            --n;
    return n;
}

// The first characters of text that take at most max positions, never splitting CR LF or a surrogate pair.
QString truncatedToPositions(const QString &text, qsizetype max)
{
    if (max <= 0)
        return {};
    qsizetype i = 0;
    qsizetype used = 0;
    while (i < text.size() && used < max) {
        qsizetype step = 1;
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            step = 2;
        else if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (used + 2 > max)
                break;
            step = 2;
            ++used; // a surrogate pair is two positions
        }
        i += step;
        ++used;
    }
    return text.left(i);
}

} // namespace

// The parts of an input-method composition, numbered as their colour entries.
enum CompClass { CompTyping = 0, CompTarget = 1, CompConverted = 2, CompBoundary = 3 };

struct EditorPrivate {
    explicit EditorPrivate(Editor *editor) : q(editor) { setCharByteSize(defaultCharByteSize); }

    Editor *q;
    std::shared_ptr<ByteTally> tally = std::make_shared<ByteTally>();
    std::array<quint8, 65536> sizeTable{};
    quint64 changeSerial = 0;
    mutable QString rawCache;
    mutable quint64 rawSerial = ~quint64(0);
    int lastAnchor = -1;
    int lastPosition = -1;
    bool changedSinceReport = true;
    bool tabsPending = false;
    // Selection-bar drag: the display line the press was on.
    bool barDragging = false;
    int barAnchorStart = 0;
    int barAnchorEnd = 0;

    void setCharByteSize(const std::function<int(char16_t)> &size)
    {
        for (int c = 0; c < 65536; ++c)
            sizeTable[c] = quint8(std::clamp(size(char16_t(c)), 0, 255));
    }

    QTextDocument *doc() const { return q->document(); }

    void recountBlock(const QTextBlock &block)
    {
        auto *info = static_cast<BlockInfo *>(block.userData());
        if (!info) {
            info = new BlockInfo(tally);
            const_cast<QTextBlock &>(block).setUserData(info);
        }
        qint64 n = 0;
        const QString text = block.text();
        for (QChar c : text)
            n += sizeTable[c.unicode()];
        tally->charBytes += n - info->bytes;
        info->bytes = n;
    }

    void recountRange(int from, int added)
    {
        QTextDocument *d = doc();
        const int last = std::max(0, d->characterCount() - 1);
        QTextBlock block = d->findBlock(std::clamp(from, 0, last));
        const QTextBlock end = d->findBlock(std::clamp(from + added, 0, last));
        while (block.isValid()) {
            recountBlock(block);
            if (block == end)
                break;
            block = block.next();
        }
    }

    void recountAll()
    {
        for (QTextBlock b = doc()->firstBlock(); b.isValid(); b = b.next())
            recountBlock(b);
    }

    const QString &rawText() const
    {
        if (rawSerial != changeSerial) {
            rawCache = doc()->toRawText();
            rawSerial = changeSerial;
        }
        return rawCache;
    }

    bool wrapping() const { return q->lineWrapMode() != QPlainTextEdit::NoWrap; }

    // Display-line counts with word wrap. The document keeps each paragraph's line count in its block
    // tree (so the first line of a paragraph is found in logarithmic time), but the view only lays out
    // the paragraphs it shows and resets the counts of all others to 1 whenever the width changes. We
    // track which counts may be wrong and recount them on demand: everything from position linesValidTo
    // on, and the ranges touched by edits before it.
    int linesValidTo = 0;                       // counts of paragraphs starting before it are right...
    std::vector<std::pair<int, int>> staleRanges; // ...except those overlapping these position ranges
    mutable bool countsChanged = false;

    mutable qreal probedLineWidth = -1;

    mutable std::vector<float> advances; // per UTF-16 unit, in the current font; < 0 not yet measured
    QTimer *countTimer = nullptr;         // counts the rest of the document in short slices

    void invalidateAllLines()
    {
        linesValidTo = 0;
        staleRanges.clear();
        probedLineWidth = -1;
        advances.clear();
        scheduleCounting();
    }

    void scheduleCounting()
    {
        if (countTimer && wrapping() && !q->vertical() && !countTimer->isActive())
            countTimer->start();
    }

    // One slice of background counting; stops the timer when everything is counted.
    void countSlice()
    {
        if (!wrapping() || q->vertical() || linesValidTo >= doc()->characterCount()) {
            countTimer->stop();
            return;
        }
        QElapsedTimer clock;
        clock.start();
        QTextBlock block = doc()->findBlock(linesValidTo);
        while (block.isValid() && !clock.hasExpired(8)) {
            recountLines(block);
            linesValidTo = block.position() + block.length();
            block = block.next();
        }
        announceCounts();
        if (!block.isValid())
            countTimer->stop();
    }

    void announceCounts() const
    {
        if (!countsChanged)
            return;
        countsChanged = false;
        // Let the view bring its scroll bar in line with the new counts.
        QAbstractTextDocumentLayout *layout = doc()->documentLayout();
        emit layout->documentSizeChanged(layout->documentSize());
    }

    float advanceOf(char16_t c) const
    {
        if (advances.empty())
            advances.assign(65536, -1.0f);
        float &a = advances[c];
        if (a < 0)
            a = float(QFontMetricsF(doc()->defaultFont(), q->viewport()).horizontalAdvance(QChar(c)));
        return a;
    }

    // True when a paragraph is clearly narrower than the line width, with room to spare for kerning;
    // such a paragraph is one display line without laying it out (laying out is what costs).
    bool surelyOneLine(const QString &text, qreal width) const
    {
        const QTextOption opt = doc()->defaultTextOption();
        const QList<qreal> tabs = opt.tabArray();
        const qreal tabDistance = opt.tabStopDistance() > 0 ? opt.tabStopDistance() : 80;
        const qreal limit = (width - 4) / 1.03;
        qreal x = 0;
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (QChar::isSurrogate(u))
                return false;
            if (u == u'\t') {
                auto next = std::upper_bound(tabs.begin(), tabs.end(), x);
                x = (next != tabs.end() ? *next : (std::floor(x / tabDistance) + 1) * tabDistance) + 4;
            } else {
                x += advanceOf(u);
            }
            if (x > limit)
                return false;
        }
        return true;
    }


    // The width the view breaks lines at, read from a paragraph it has laid out.
    qreal lineWidth() const
    {
        if (probedLineWidth < 0) {
            const QTextBlock first = doc()->firstBlock();
            layOut(first);
            probedLineWidth = first.layout()->lineCount() ? first.layout()->lineAt(0).width() : qreal(INT_MAX);
        }
        return probedLineWidth;
    }

    // Keeps the bookkeeping in step with an edit: from, chars removed, chars added.
    void noteEdit(int from, int removed, int added)
    {
        const int delta = added - removed;
        auto map = [&](int p) { return p <= from ? p : p >= from + removed ? p + delta : from + added; };
        std::pair<int, int> touched{from, from + added};
        std::vector<std::pair<int, int>> kept;
        kept.reserve(staleRanges.size() + 1);
        for (const auto &r : staleRanges) {
            const std::pair<int, int> m{r.first < from ? r.first : map(r.first), map(r.second)};
            if (m.second < touched.first || m.first > touched.second) {
                kept.push_back(m);
            } else {
                touched.first = std::min(touched.first, m.first);
                touched.second = std::max(touched.second, m.second);
            }
        }
        if (from < linesValidTo) {
            linesValidTo = std::max(from, map(linesValidTo));
            if (touched.second - touched.first > 65536) {
                // A large change (a document loaded, a whole text replaced): count it in the background.
                linesValidTo = touched.first;
                scheduleCounting();
            } else {
                kept.push_back(touched);
            }
        }
        std::erase_if(kept, [this](const auto &r) { return r.first >= linesValidTo; });
        std::sort(kept.begin(), kept.end());
        if (kept.size() > 32) // many scattered edits: recount the span they cover
            kept = {{kept.front().first, std::max_element(kept.begin(), kept.end(), [](auto &a, auto &b) {
                                             return a.second < b.second;
                                         })->second}};
        staleRanges = std::move(kept);
    }

    // The number of display lines of a paragraph at the current width, without keeping a layout.
    int countLines(const QTextBlock &block) const
    {
        const QTextLayout *own = block.layout();
        if (own && own->lineCount() > 0) // laid out by the view since the last change: current
            return own->lineCount();
        if (!block.isVisible())
            return 0;
        const QTextDocument *d = doc();
        const QString text = block.text();
        const qreal width = lineWidth();
        if (d->defaultTextOption().wrapMode() == QTextOption::NoWrap || surelyOneLine(text, width))
            return 1;
        QTextLayout tl(text, d->defaultFont(), q->viewport());
        tl.setTextOption(d->defaultTextOption());
        tl.setCacheEnabled(false);
        tl.beginLayout();
        for (;;) {
            QTextLine line = tl.createLine();
            if (!line.isValid())
                break;
            line.setLeadingIncluded(true);
            line.setLineWidth(width);
        }
        tl.endLayout();
        return tl.lineCount();
    }

    void recountLines(QTextBlock block) const
    {
        const int n = countLines(block);
        if (block.lineCount() != n) {
            block.setLineCount(n);
            countsChanged = true;
        }
    }

    // Recounts the display lines of the paragraphs overlapping [from, to].
    void recountLines(int from, int to) const
    {
        const QTextDocument *d = doc();
        const int last = std::max(0, d->characterCount() - 1);
        QTextBlock block = d->findBlock(std::clamp(from, 0, last));
        const QTextBlock end = d->findBlock(std::clamp(to, 0, last));
        while (block.isValid()) {
            recountLines(block);
            if (block == end)
                break;
            block = block.next();
        }
    }

    // Makes the display-line counts right for every paragraph that starts at or before pos.
    void ensureLinesUpTo(int pos)
    {
        if (!wrapping())
            return;
        for (const auto &r : staleRanges)
            recountLines(r.first, r.second);
        staleRanges.clear();
        if (linesValidTo <= pos) {
            const QTextDocument *d = doc();
            QTextBlock block = d->findBlock(std::clamp(linesValidTo, 0, std::max(0, d->characterCount() - 1)));
            while (block.isValid() && block.position() <= pos) {
                recountLines(block);
                linesValidTo = block.position() + block.length();
                block = block.next();
            }
        }
        announceCounts();
    }

    // The paragraph holding a display line, with the counts up to it made right.
    QTextBlock blockForLine(int line)
    {
        for (;;) {
            const QTextBlock b = doc()->findBlockByLineNumber(line);
            const int end = b.isValid() ? b.position() + b.length() : doc()->characterCount();
            if (!wrapping() || (staleRanges.empty() && end <= linesValidTo))
                return b;
            const int before = linesValidTo;
            ensureLinesUpTo(end);
            if (linesValidTo == before && staleRanges.empty())
                return doc()->findBlockByLineNumber(line);
        }
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
                if (!isRawByteMarker(t.at(i)))
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
                                 QString::number(t.at(i).unicode() - 0xF700, 16).rightJustified(2, u'0').toUpper());
            }
        }
    }

    // Makes sure the block has a layout at the current width, so its lines and line count are right.
    void layOut(const QTextBlock &block) const
    {
        if (block.isValid() && block.layout()->lineCount() == 0)
            doc()->documentLayout()->blockBoundingRect(block);
    }

    int textLength() const { return doc()->characterCount() - 1; }

    // Start and end (the start of the next display line, or the end of the text) of the display line
    // shown at viewport height y.
    std::pair<int, int> displayLineAt(int y) const
    {
        const QTextCursor c = q->cursorForPosition(QPoint(0, y));
        const QTextBlock block = c.block();
        layOut(block);
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
    d->countTimer = new QTimer(this);
    d->countTimer->setInterval(0);
    connect(d->countTimer, &QTimer::timeout, this, [this] { d->countSlice(); });

    connect(document(), &QTextDocument::contentsChange, this, [this](int from, int removed, int added) {
        ++d->changeSerial;
        d->rawCache = QString();
        d->noteEdit(from, removed, added);
        d->changedSinceReport = true;
        d->recountRange(from, added);
        m_vertical->documentChanged(from, removed, added);
    });
    // The view lays everything out afresh (all line counts back to 1) when its width changes; that is
    // the one full update it announces with a rectangle starting at 0 (edits start at minus the margin).
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::update, this, [this](const QRectF &r) {
        if (r.top() >= 0 && r.height() >= 1e8)
            d->invalidateAllLines();
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

QString Editor::text() const
{
    const QString &raw = d->rawText();
    const qsizetype breaks = raw.count(kParagraphSeparator);
    QString out;
    out.reserve(raw.size() + breaks);
    const QChar *p = raw.constData();
    const QChar *end = p + raw.size();
    const QChar *run = p;
    for (; p < end; ++p) {
        if (*p == kParagraphSeparator) {
            out.append(run, p - run);
            out.append(u"\r\n");
            run = p + 1;
        }
    }
    out.append(run, end - run);
    return out;
}

QString Editor::plainText() const
{
    QString out = d->rawText();
    out.replace(kParagraphSeparator, u'\n');
    return out;
}

bool Editor::isEmpty() const { return document()->characterCount() <= 1; }

qint64 Editor::byteSize() const
{
    return d->tally->charBytes + 2 * qint64(document()->blockCount() - 1);
}

void Editor::setCharByteSize(std::function<int(char16_t)> size)
{
    d->setCharByteSize(size ? size : std::function<int(char16_t)>(defaultCharByteSize));
    d->recountAll();
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
    const QTextDocument *doc = document();
    int n;
    if (vertical()) {
        m_vertical->sync();
        n = m_vertical->layout.columnCount();
    } else if (d->wrapping()) {
        d->ensureLinesUpTo(textLength());
        n = doc->lineCount();
    } else {
        n = doc->blockCount();
    }
    if (doc->lastBlock().length() <= 1)
        --n;
    return std::max(n, 0);
}

QString Editor::lineText(int line) const
{
    if (line < 0)
        return {};
    const QTextDocument *doc = document();
    if (vertical()) {
        m_vertical->sync();
        VerticalLayout &layout = m_vertical->layout;
        if (line >= layout.columnCount())
            return {};
        const auto [number, column] = layout.locate(line);
        const QTextBlock b = doc->findBlockByNumber(number);
        const auto para = layout.paragraph(b);
        const int first = para->position(para->starts[size_t(column)]);
        return b.text().mid(first, para->position(para->columnEnd(column)) - first);
    }
    if (!d->wrapping()) {
        const QTextBlock b = doc->findBlockByNumber(line);
        return b.isValid() ? b.text() : QString();
    }
    const QTextBlock b = d->blockForLine(line);
    if (!b.isValid())
        return {};
    d->layOut(b);
    const QTextLine l = b.layout()->lineAt(line - b.firstLineNumber());
    if (!l.isValid())
        return b.text();
    return b.text().mid(l.textStart(), l.textLength());
}

int Editor::lineFromChar(int pos) const
{
    pos = std::clamp(pos, 0, textLength());
    if (vertical()) {
        m_vertical->sync();
        return m_vertical->spotOf(pos, false).global;
    }
    const QTextBlock b = document()->findBlock(pos);
    if (!d->wrapping())
        return b.blockNumber();
    d->ensureLinesUpTo(pos);
    d->layOut(b);
    const QTextLine l = b.layout()->lineForTextPosition(pos - b.position());
    return b.firstLineNumber() + (l.isValid() ? l.lineNumber() : 0);
}

int Editor::lineIndex(int line) const
{
    if (line < 0)
        return -1;
    const QTextDocument *doc = document();
    if (vertical()) {
        m_vertical->sync();
        if (line >= m_vertical->layout.columnCount())
            return -1;
        return m_vertical->columnRange(line).first;
    }
    if (!d->wrapping()) {
        const QTextBlock b = doc->findBlockByNumber(line);
        return b.isValid() ? b.position() : -1;
    }
    const QTextBlock b = d->blockForLine(line);
    if (!b.isValid())
        return -1;
    d->layOut(b);
    const QTextLine l = b.layout()->lineAt(line - b.firstLineNumber());
    return b.position() + (l.isValid() ? l.textStart() : 0);
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
    const qsizetype room = qsizetype(kTextLimit) - (textLength() - (c.selectionEnd() - c.selectionStart()));
    const QString insert = positionsOf(text) > room ? truncatedToPositions(text, room) : text;
    if (insert.isEmpty() && !c.hasSelection())
        return;
    c.beginEditBlock();
    c.insertText(insert);
    document()->appendUndoItem(new UndoBarrier);
    c.endEditBlock();
    setTextCursor(c);
    ensureCursorVisible();
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
        d->invalidateAllLines();
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

void Editor::setTabStop(int index, int points)
{
    if (index < 0 || index >= m_tabStops.size())
        return;
    m_tabStops[index] = points;
    applyTabStops();
}

int Editor::tabStop(int index) const { return index >= 0 && index < m_tabStops.size() ? m_tabStops[index] : 0; }

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
    QList<qreal> positions;
    positions.reserve(m_tabStops.size());
    const qreal scale = logicalDpiX() / 72.0;
    for (int pt : m_tabStops)
        positions.append(pt * scale);
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    QTextOption opt = document()->defaultTextOption();
    qreal distance = opt.tabStopDistance();
    if (positions.size() >= 2)
        distance = positions.last() - positions.at(positions.size() - 2);
    if (opt.tabArray() == positions && qFuzzyCompare(opt.tabStopDistance(), distance))
        return;
    opt.setTabArray(positions);
    if (distance > 0)
        opt.setTabStopDistance(distance);
    document()->setDefaultTextOption(opt);
    d->invalidateAllLines();
}

// --- font, colours, wrap -------------------------------------------------------------------------------------

void Editor::setEditorFont(const FontSpec &wanted)
{
    m_font = wanted;
    QFont font;
    const QStringList families = QFontDatabase::families();
    if (!wanted.name.isEmpty() && families.contains(wanted.name, Qt::CaseInsensitive)) {
        font.setFamily(wanted.name);
    } else {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::TypeWriter);
    }
    font.setPointSize(std::max(1, wanted.pointSize));
    font.setBold(wanted.bold);
    font.setItalic(wanted.italic);
    font.setUnderline(wanted.underline);
    font.setStrikeOut(wanted.strikeOut);
    setFont(font);
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
    d->invalidateAllLines();
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
    printer.setDocName(jobTitle);
    std::unique_ptr<QTextDocument> doc(document()->clone());
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    doc->setDefaultFont(font());
    QTextOption opt = document()->defaultTextOption();
    const qreal scale = printer.logicalDpiX() / 72.0;
    QList<qreal> tabs;
    for (int pt : m_tabStops)
        tabs.append(pt * scale);
    std::sort(tabs.begin(), tabs.end());
    tabs.erase(std::unique(tabs.begin(), tabs.end()), tabs.end());
    opt.setTabArray(tabs);
    if (tabs.size() >= 2)
        opt.setTabStopDistance(tabs.last() - tabs.at(tabs.size() - 2));
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc->setDefaultTextOption(opt);
    QTextCursor all(doc.get());
    all.select(QTextCursor::Document);
    QTextCharFormat fmt;
    fmt.setForeground(toQColor(m_font.color));
    all.mergeCharFormat(fmt);

    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    doc->setPageSize(page.size());
    const int pages = std::max(1, doc->pageCount());
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            printer.newPage();
        painter.save();
        const QRectF view(0, i * page.height(), page.width(), page.height());
        painter.translate(0, -view.top());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = view;
        ctx.palette.setColor(QPalette::Text, toQColor(m_font.color));
        painter.setClipRect(view);
        doc->documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
    painter.end();
}

void Editor::setReservedShortcuts(const QList<QKeySequence> &keys) { m_reserved = keys; }

// --- events --------------------------------------------------------------------------------------------------

void Editor::keyPressEvent(QKeyEvent *e)
{
    if (vertical() && m_vertical->key(e)) {
        e->accept();
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
            if (textLength() - selLength() + 1 > kTextLimit)
                QApplication::beep();
            else
                insertPlainText(s);
            return;
        }
    }
    if (code && code != 27 && textLength() - selLength() + 1 > kTextLimit) {
        QApplication::beep();
        e->accept();
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
    const qsizetype room = qsizetype(kTextLimit) - (textLength() - selLength());
    if (positionsOf(text) > room) {
        QApplication::beep();
        insertPlainText(truncatedToPositions(text, room));
        return;
    }
    insertPlainText(text);
}

// How the input method marks a part of its composition decides the colour entry it is drawn with:
//  - no format, or an underline only: text being typed (entry 0); but while another part of the same
//    composition is highlighted the composition is being converted, and such a part is a converted
//    clause (entry 2);
//  - a background (a highlighted or reversed part: the clause the conversion works on): entry 1;
//  - a highlighted part that is also bold or has a dotted, dashed or wavy underline: the clause whose
//    boundary is being changed (entry 3);
//  - any other formatting (a text colour, bold, italic) without a background: a converted clause (entry 2).
// The input method's formats are replaced by the entry's colours; every part stays underlined.
void Editor::inputMethodEvent(QInputMethodEvent *e)
{
    const QString preedit = e->preeditString();
    const int n = int(preedit.size());
    QList<QInputMethodEvent::Attribute> attrs;
    std::vector<int> cls(n, -1); // colour entry of each preedit character, -1 unformatted
    bool converting = false;
    for (const auto &a : e->attributes()) {
        if (a.type != QInputMethodEvent::TextFormat) {
            attrs.append(a);
            continue;
        }
        const QTextCharFormat f = qvariant_cast<QTextFormat>(a.value).toCharFormat();
        const bool highlighted = f.hasProperty(QTextFormat::BackgroundBrush);
        const auto ul = f.underlineStyle();
        const bool marked = f.fontWeight() > QFont::Normal || ul == QTextCharFormat::DotLine
                            || ul == QTextCharFormat::DashUnderline || ul == QTextCharFormat::WaveUnderline;
        const bool formatted = f.hasProperty(QTextFormat::ForegroundBrush) || f.fontWeight() > QFont::Normal
                               || f.fontItalic();
        int c = -1;
        if (highlighted)
            c = marked ? CompBoundary : CompTarget;
        else if (formatted)
            c = CompConverted;
        converting = converting || highlighted;
        for (int i = std::max(0, a.start); i < std::min(n, a.start + a.length); ++i)
            cls[i] = c;
    }
    for (int &c : cls)
        if (c < 0)
            c = converting ? CompConverted : CompTyping;
    for (int i = 0; i < n;) {
        int j = i + 1;
        while (j < n && cls[j] == cls[i])
            ++j;
        const CompColor &entry = m_imeColors[cls[i]];
        QTextCharFormat f;
        f.setForeground(toQColor(entry.text));
        f.setBackground(toQColor(entry.background));
        f.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        if (entry.effects & 0x1)
            f.setFontWeight(QFont::Bold);
        if (entry.effects & 0x2)
            f.setFontItalic(true);
        if (entry.effects & 0x8)
            f.setFontStrikeOut(true);
        attrs.append(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, i, j - i, f));
        i = j;
    }
    // What the input method commits is typing: it stops at the text limit.
    QString commit = e->commitString();
    const qsizetype room = qsizetype(kTextLimit) - (textLength() - selLength());
    if (positionsOf(commit) > room) {
        QApplication::beep();
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
        d->invalidateAllLines();
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

void Editor::paintSelectionBar(QPaintEvent *e)
{
    QPainter painter(m_selBar);
    painter.fillRect(e->rect(), palette().color(QPalette::Base));
}

void Editor::selectionBarMouse(QMouseEvent *e)
{
    if (vertical()) {
        m_vertical->selectionBarMouse(e);
        return;
    }
    const int y = int(e->position().y());
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        if (e->button() != Qt::LeftButton)
            return;
        const auto [start, end] = d->displayLineAt(y);
        d->barDragging = true;
        d->barAnchorStart = start;
        d->barAnchorEnd = end;
        QTextCursor c = textCursor();
        c.setPosition(start);
        c.setPosition(end, QTextCursor::KeepAnchor);
        setTextCursor(c);
        setFocus(Qt::MouseFocusReason);
        return;
    }
    if (e->type() == QEvent::MouseButtonRelease) {
        d->barDragging = false;
        return;
    }
    if (e->type() == QEvent::MouseMove && d->barDragging && (e->buttons() & Qt::LeftButton)) {
        if (y < 0)
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        else if (y >= viewport()->height())
            verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        const int clampedY = std::clamp(y, 0, std::max(0, viewport()->height() - 1));
        const auto [start, end] = d->displayLineAt(clampedY);
        QTextCursor c = textCursor();
        if (start >= d->barAnchorStart) {
            c.setPosition(d->barAnchorStart);
            c.setPosition(end, QTextCursor::KeepAnchor);
        } else {
            c.setPosition(d->barAnchorEnd);
            c.setPosition(start, QTextCursor::KeepAnchor);
        }
        setTextCursor(c);
    }
}

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
void SelectionBar::paintEvent(QPaintEvent *e) { m_editor->paintSelectionBar(e); }
void SelectionBar::mousePressEvent(QMouseEvent *e) { m_editor->selectionBarMouse(e); }
void SelectionBar::mouseMoveEvent(QMouseEvent *e) { m_editor->selectionBarMouse(e); }
void SelectionBar::mouseReleaseEvent(QMouseEvent *e) { m_editor->selectionBarMouse(e); }
void SelectionBar::mouseDoubleClickEvent(QMouseEvent *e) { m_editor->selectionBarMouse(e); }
void SelectionBar::wheelEvent(QWheelEvent *e) { QCoreApplication::sendEvent(m_editor->viewport(), e); }

// --- vertical writing ----------------------------------------------------------------------------------------

QRectF Editor::charRect(int pos) const
{
    pos = std::clamp(pos, 0, textLength());
    if (vertical())
        return m_vertical->cellRect(pos);
    const QTextBlock block = document()->findBlock(pos);
    d->layOut(block);
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
