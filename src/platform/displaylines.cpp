// The display-line index of wrapped paragraphs.

#include "displaylines.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace zv {

DisplayLineIndex::DisplayLineIndex(QTextDocument *doc, QPaintDevice *device, std::function<bool()> wrapping,
                                   QObject *parent)
    : QObject(parent), m_doc(doc), m_device(device), m_wrapping(std::move(wrapping)), m_timer(new QTimer(this))
{
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] { countSlice(); });
    connect(doc, &QTextDocument::contentsChange, this,
            [this](int from, int removed, int added) { noteEdit(from, removed, added); });
    // The view lays everything out afresh (all line counts back to 1) when its width changes; that is
    // the one full update it announces with a rectangle starting at 0 (edits start at minus the margin).
    connect(doc->documentLayout(), &QAbstractTextDocumentLayout::update, this, [this](const QRectF &r) {
        if (r.top() >= 0 && r.height() >= 1e8)
            invalidateAll();
    });
}

int DisplayLineIndex::lineCount()
{
    int n;
    if (wrapping()) {
        ensureLinesUpTo(m_doc->characterCount() - 1);
        n = m_doc->lineCount();
    } else {
        n = m_doc->blockCount();
    }
    if (m_doc->lastBlock().length() <= 1)
        --n;
    return std::max(n, 0);
}

QString DisplayLineIndex::lineText(int line)
{
    if (line < 0)
        return {};
    if (!wrapping()) {
        const QTextBlock b = m_doc->findBlockByNumber(line);
        return b.isValid() ? b.text() : QString();
    }
    const QTextBlock b = blockForLine(line);
    if (!b.isValid())
        return {};
    layOut(b);
    const QTextLine l = b.layout()->lineAt(line - b.firstLineNumber());
    if (!l.isValid())
        return b.text();
    return b.text().mid(l.textStart(), l.textLength());
}

int DisplayLineIndex::lineFromChar(int pos)
{
    pos = std::clamp(pos, 0, m_doc->characterCount() - 1);
    const QTextBlock b = m_doc->findBlock(pos);
    if (!wrapping())
        return b.blockNumber();
    ensureLinesUpTo(pos);
    layOut(b);
    const QTextLine l = b.layout()->lineForTextPosition(pos - b.position());
    return b.firstLineNumber() + (l.isValid() ? l.lineNumber() : 0);
}

int DisplayLineIndex::lineIndex(int line)
{
    if (line < 0)
        return -1;
    if (!wrapping()) {
        const QTextBlock b = m_doc->findBlockByNumber(line);
        return b.isValid() ? b.position() : -1;
    }
    const QTextBlock b = blockForLine(line);
    if (!b.isValid())
        return -1;
    layOut(b);
    const QTextLine l = b.layout()->lineAt(line - b.firstLineNumber());
    return b.position() + (l.isValid() ? l.textStart() : 0);
}

void DisplayLineIndex::invalidateAll()
{
    m_validTo = 0;
    m_stale.clear();
    m_probedLineWidth = -1;
    m_advances.clear();
    scheduleCounting();
}

bool DisplayLineIndex::counting() const { return m_timer->isActive(); }

void DisplayLineIndex::scheduleCounting()
{
    if (wrapping() && !m_timer->isActive())
        m_timer->start();
}

// One slice of background counting; stops the timer when everything is counted.
void DisplayLineIndex::countSlice()
{
    if (!wrapping() || m_validTo >= m_doc->characterCount()) {
        m_timer->stop();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QTextBlock block = m_doc->findBlock(m_validTo);
    while (block.isValid() && !clock.hasExpired(8)) {
        recountLines(block);
        m_validTo = block.position() + block.length();
        block = block.next();
    }
    announceCounts();
    if (!block.isValid())
        m_timer->stop();
}

void DisplayLineIndex::announceCounts() const
{
    if (!m_countsChanged)
        return;
    m_countsChanged = false;
    // Let the view bring its scroll bar in line with the new counts.
    QAbstractTextDocumentLayout *layout = m_doc->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
}

float DisplayLineIndex::advanceOf(char16_t c) const
{
    if (m_advances.empty())
        m_advances.assign(65536, -1.0f);
    float &a = m_advances[c];
    if (a < 0)
        a = float(QFontMetricsF(m_doc->defaultFont(), m_device).horizontalAdvance(QChar(c)));
    return a;
}

// True when a paragraph is clearly narrower than the line width, with room to spare for kerning;
// such a paragraph is one display line without laying it out (laying out is what costs).
bool DisplayLineIndex::surelyOneLine(const QString &text, qreal width) const
{
    const QTextOption opt = m_doc->defaultTextOption();
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
qreal DisplayLineIndex::lineWidth() const
{
    if (m_probedLineWidth < 0) {
        const QTextBlock first = m_doc->firstBlock();
        layOut(first);
        m_probedLineWidth = first.layout()->lineCount() ? first.layout()->lineAt(0).width() : qreal(INT_MAX);
    }
    return m_probedLineWidth;
}

// Keeps the bookkeeping in step with an edit: from, chars removed, chars added.
void DisplayLineIndex::noteEdit(int from, int removed, int added)
{
    const int delta = added - removed;
    auto map = [&](int p) { return p <= from ? p : p >= from + removed ? p + delta : from + added; };
    std::pair<int, int> touched{from, from + added};
    std::vector<std::pair<int, int>> kept;
    kept.reserve(m_stale.size() + 1);
    for (const auto &r : m_stale) {
        const std::pair<int, int> m{r.first < from ? r.first : map(r.first), map(r.second)};
        if (m.second < touched.first || m.first > touched.second) {
            kept.push_back(m);
        } else {
            touched.first = std::min(touched.first, m.first);
            touched.second = std::max(touched.second, m.second);
        }
    }
    if (from < m_validTo) {
        m_validTo = std::max(from, map(m_validTo));
        if (touched.second - touched.first > 65536) {
            // A large change (a document loaded, a whole text replaced): count it in the background.
            m_validTo = touched.first;
            scheduleCounting();
        } else {
            kept.push_back(touched);
        }
    }
    std::erase_if(kept, [this](const auto &r) { return r.first >= m_validTo; });
    std::sort(kept.begin(), kept.end());
    if (kept.size() > 32) // many scattered edits: recount the span they cover
        kept = {{kept.front().first, std::max_element(kept.begin(), kept.end(), [](auto &a, auto &b) {
                                         return a.second < b.second;
                                     })->second}};
    m_stale = std::move(kept);
}

// The number of display lines of a paragraph at the current width, without keeping a layout.
int DisplayLineIndex::countLines(const QTextBlock &block) const
{
    const QTextLayout *own = block.layout();
    if (own && own->lineCount() > 0) // laid out by the view since the last change: current
        return own->lineCount();
    if (!block.isVisible())
        return 0;
    const QString text = block.text();
    const qreal width = lineWidth();
    if (m_doc->defaultTextOption().wrapMode() == QTextOption::NoWrap || surelyOneLine(text, width))
        return 1;
    QTextLayout tl(text, m_doc->defaultFont(), m_device);
    tl.setTextOption(m_doc->defaultTextOption());
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

void DisplayLineIndex::recountLines(QTextBlock block) const
{
    const int n = countLines(block);
    if (block.lineCount() != n) {
        block.setLineCount(n);
        m_countsChanged = true;
    }
}

// Recounts the display lines of the paragraphs overlapping [from, to].
void DisplayLineIndex::recountLines(int from, int to) const
{
    const int last = std::max(0, m_doc->characterCount() - 1);
    QTextBlock block = m_doc->findBlock(std::clamp(from, 0, last));
    const QTextBlock end = m_doc->findBlock(std::clamp(to, 0, last));
    while (block.isValid()) {
        recountLines(block);
        if (block == end)
            break;
        block = block.next();
    }
}

// Makes the display-line counts right for every paragraph that starts at or before pos.
void DisplayLineIndex::ensureLinesUpTo(int pos)
{
    if (!wrapping())
        return;
    for (const auto &r : m_stale)
        recountLines(r.first, r.second);
    m_stale.clear();
    if (m_validTo <= pos) {
        QTextBlock block = m_doc->findBlock(std::clamp(m_validTo, 0, std::max(0, m_doc->characterCount() - 1)));
        while (block.isValid() && block.position() <= pos) {
            recountLines(block);
            m_validTo = block.position() + block.length();
            block = block.next();
        }
    }
    announceCounts();
}

// The paragraph holding a display line, with the counts up to it made right.
QTextBlock DisplayLineIndex::blockForLine(int line)
{
    for (;;) {
        const QTextBlock b = m_doc->findBlockByLineNumber(line);
        const int end = b.isValid() ? b.position() + b.length() : m_doc->characterCount();
        if (!wrapping() || (m_stale.empty() && end <= m_validTo))
            return b;
        const int before = m_validTo;
        ensureLinesUpTo(end);
        if (m_validTo == before && m_stale.empty())
            return m_doc->findBlockByLineNumber(line);
    }
}

void DisplayLineIndex::layOut(const QTextBlock &block) const
{
    if (block.isValid() && block.layout()->lineCount() == 0)
        m_doc->documentLayout()->blockBoundingRect(block);
}

} // namespace zv
