// Vertical writing: columns of a plain-text document on a grid of full-width cells.

#include "verticallayout.h"
#include "textcodec.h"

#include <QFontMetricsF>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace zv {

namespace {

constexpr QChar kParagraphSeparator = QChar::ParagraphSeparator;
// An edit adding more than this is not followed paragraph by paragraph: the next query counts everything.
constexpr int kFollowLimit = 1 << 18;

bool inList(char16_t c, std::u16string_view list) { return list.find(c) != std::u16string_view::npos; }

// Characters that take their vertical form by turning a quarter turn clockwise.
constexpr std::u16string_view kTurned = u"〈〉《》「」『』【】〔〕〖〗〘〙〚〛（）［］｛｝｟｠＜＞"
                                        u"ー―‐–—－〜～〰‥…＝｜：；＿￣‘’“”";
constexpr std::u16string_view kCorner = u"、。，．";
constexpr std::u16string_view kSmallKana = u"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶ"
                                           u"ㇰㇱㇲㇳㇴㇵㇶㇷㇸㇹㇺㇻㇼㇽㇾㇿ";
// Never at the top of a column: closing brackets and punctuation, iteration marks.
constexpr std::u16string_view kNoStart = u"、。，．・：；？！‼⁇⁈⁉ゝゞヽヾ々〻゛゜"
                                         u"）」』】〉》］｝〕〗〙〛｠’”";
// Never at the bottom of a column: opening brackets.
constexpr std::u16string_view kNoEnd = u"（「『【〈《［｛〔〖〘｟‘“";

VForm classify(char16_t c)
{
    if (c == u'\t')
        return VForm::Tab;
    if (isOpaqueByte(QChar(c)))
        return VForm::RawByte;
    if (QChar::isLowSurrogate(c) || (c >= 0xFE00 && c <= 0xFE0F))
        return VForm::Mark;
    if (QChar::isHighSurrogate(c))
        return VForm::Upright; // outside the basic plane: ideographs and pictographs
    switch (QChar::category(char32_t(c))) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing: return VForm::Mark;
    default: break;
    }
    if (inList(c, kCorner))
        return VForm::Corner;
    if (inList(c, kSmallKana))
        return VForm::SmallKana;
    if (inList(c, kTurned))
        return VForm::Turned;
    if ((c >= 0xFF61 && c <= 0xFFDC) || (c >= 0xFFE8 && c <= 0xFFEE))
        return VForm::Sideways; // half-width forms lie on their side with the Latin text
    if (c >= 0x2E80)
        return VForm::Upright; // CJK and everything after it
    // Symbols the Japanese character set has as full-width characters.
    if ((c >= 0x2010 && c <= 0x205E) || (c >= 0x2100 && c <= 0x2BFF) || (c >= 0x1100 && c <= 0x11FF))
        return VForm::Upright;
    if ((c >= 0x0370 && c <= 0x04FF) || inList(c, u"§¨°±´¶×÷"))
        return VForm::Upright; // Greek and Cyrillic of the Japanese character set
    return VForm::Sideways;
}

const std::array<VForm, 65536> &formTable()
{
    static const auto table = [] {
        auto t = std::make_unique<std::array<VForm, 65536>>();
        for (int c = 0; c < 65536; ++c)
            (*t)[size_t(c)] = classify(char16_t(c));
        return t;
    }();
    return *table;
}

inline VForm formOf(char16_t c) { return formTable()[c]; }

// A character that belongs to a word of Latin text: the column does not break inside such a word if the
// word can start the next column.
inline bool isWordChar(char16_t c, VForm form) { return form == VForm::Sideways && c != u' ' && c < 0x2000; }

} // namespace

VForm verticalForm(char16_t c) { return formOf(c); }

// --- a placed paragraph -------------------------------------------------------------------------------------

int VerticalParagraph::columnOf(int index) const
{
    const auto it = std::upper_bound(starts.begin(), starts.end(), index);
    return std::max(0, int(it - starts.begin()) - 1);
}

int VerticalParagraph::shownIndex(int pos) const
{
    if (compositionAt < 0 || pos < compositionAt)
        return pos;
    return pos + compositionLength;
}

int VerticalParagraph::position(int index) const
{
    if (compositionAt < 0 || index <= compositionAt)
        return index;
    if (index < compositionAt + compositionLength)
        return compositionAt;
    return index - compositionLength;
}

// --- the layout ---------------------------------------------------------------------------------------------

VerticalLayout::VerticalLayout(QTextDocument *doc) : m_doc(doc) { formTable(); }

VerticalLayout::~VerticalLayout() = default;

void VerticalLayout::setFont(const QFont &font, QPaintDevice *device)
{
    if (font == m_font && device == m_device && !m_advances.empty())
        return;
    m_font = font;
    m_device = device;
    m_measureFont = font;
    m_measureFont.setUnderline(false);
    m_measureFont.setStrikeOut(false);
    m_advances.assign(65536, -1.0f);
    const QFontMetricsF fm = device ? QFontMetricsF(m_measureFont, device) : QFontMetricsF(m_measureFont);
    // The full-width cell: the advance of an ideograph (from a fallback font when the font has none).
    qreal cjk = fm.horizontalAdvance(QChar(0x6C34));
    if (cjk < fm.height() * 0.6)
        cjk = fm.height();
    m_cell = std::max<qreal>(2, std::round(cjk));
    // Columns stand apart by the line spacing the font asks for, and at least by half a cell.
    m_pitch = std::ceil(std::max(fm.lineSpacing(), m_cell * 1.45));
    invalidate();
}

void VerticalLayout::setColumnLength(qreal length)
{
    length = std::max<qreal>(1, length);
    if (qFuzzyCompare(length, m_length))
        return;
    m_length = length;
    invalidate();
}

void VerticalLayout::setTabs(const QList<qreal> &stops, qreal distance)
{
    if (stops == m_tabStops && qFuzzyCompare(distance + 1, m_tabDistance + 1))
        return;
    m_tabStops = stops;
    m_tabDistance = distance;
    invalidate();
}

void VerticalLayout::setRawTextSource(std::function<const QString &()> source) { m_rawText = std::move(source); }

void VerticalLayout::invalidate()
{
    m_allDirty = true;
    m_cols.clear();
    m_tree.clear();
    m_treeDirty = true;
    clearPlaced();
}

qreal VerticalLayout::advance(char16_t c) const
{
    float &a = m_advances[c];
    if (a < 0) {
        const QFontMetricsF fm = m_device ? QFontMetricsF(m_measureFont, m_device) : QFontMetricsF(m_measureFont);
        a = float(fm.horizontalAdvance(QChar(c)));
    }
    return a;
}

qreal VerticalLayout::advanceAt(VForm form, char16_t c, qreal pos) const
{
    switch (form) {
    case VForm::Sideways:
    case VForm::Mark: return advance(c);
    case VForm::Tab: {
        qreal stop;
        const auto next = std::upper_bound(m_tabStops.begin(), m_tabStops.end(), pos + 0.01);
        if (next != m_tabStops.end())
            stop = *next;
        else if (m_tabDistance > 0)
            stop = (std::floor((pos + 0.01) / m_tabDistance) + 1) * m_tabDistance;
        else
            stop = (std::floor((pos + 0.01) / (4 * m_cell)) + 1) * 4 * m_cell;
        qreal a = stop - pos;
        if (pos == 0)
            a = std::min(a, m_length);
        return std::max<qreal>(a, 1);
    }
    default: return m_cell;
    }
}

// Places the characters of a paragraph into columns and returns how many there are. Characters go down a
// column until the next one would pass its end; then the column breaks, but not inside a word of Latin
// text that can start the next column, not before a closing bracket or punctuation and not after an
// opening bracket (the break moves back a few characters for these), and spaces at the end of a column
// hang past it. Without out only the count is made.
int VerticalLayout::flow(const QChar *s, int n, VerticalParagraph *out) const
{
    const qreal limit = m_length + 0.01;
    if (out) {
        out->starts.assign(1, 0);
        out->offset.assign(size_t(n) + 1, 0.0f);
        out->extent.assign(size_t(n), 0.0f);
    }
    auto clusterBefore = [&](int b, int floor) {
        int p = b - 1;
        while (p > floor && formOf(s[p].unicode()) == VForm::Mark)
            --p;
        return p;
    };
    int columns = 1;
    int colStart = 0;
    qreal pos = 0;
    int i = 0;
    while (i < n) {
        const char16_t c = s[i].unicode();
        VForm form = formOf(c);
        if (form == VForm::Mark) // a mark with nothing to sit on
            form = VForm::Sideways;
        int len = 1;
        while (i + len < n && formOf(s[i + len].unicode()) == VForm::Mark)
            ++len;
        const qreal adv = advanceAt(form, c, pos);
        if (pos > 0 && pos + adv > limit && c != u' ') {
            int b = i;
            if (isWordChar(c, form)) {
                int r = i;
                while (r > colStart && isWordChar(s[r - 1].unicode(), formOf(s[r - 1].unicode())))
                    --r;
                if (r > colStart)
                    b = r;
            }
            for (int k = 0; k < 3; ++k) {
                const int p = clusterBefore(b, colStart);
                if (p <= colStart || !(inList(s[b].unicode(), kNoStart) || inList(s[p].unicode(), kNoEnd)))
                    break;
                b = p;
            }
            ++columns;
            colStart = b;
            pos = 0;
            i = b;
            if (out)
                out->starts.push_back(b);
            continue;
        }
        if (out) {
            for (int k = i; k < i + len; ++k)
                out->offset[size_t(k)] = float(pos);
            out->extent[size_t(i)] = float(adv);
        }
        pos += adv;
        i += len;
    }
    if (out)
        out->offset[size_t(n)] = float(pos);
    return columns;
}

QString VerticalLayout::shownText(const QTextBlock &block, int *compositionAt, int *compositionLength) const
{
    QString text = block.text();
    *compositionAt = -1;
    *compositionLength = 0;
    if (m_composition.isValid() && block == m_composition && block.layout()) {
        const QString pre = block.layout()->preeditAreaText();
        if (!pre.isEmpty()) {
            const int at = std::clamp(block.layout()->preeditAreaPosition(), 0, int(text.size()));
            text.insert(at, pre);
            *compositionAt = at;
            *compositionLength = int(pre.size());
        }
    }
    return text;
}

int VerticalLayout::countBlock(const QTextBlock &block)
{
    int at, length;
    const QString text = shownText(block, &at, &length);
    ++m_counted;
    return flow(text.constData(), int(text.size()), nullptr);
}

void VerticalLayout::countAll()
{
    const int blocks = m_doc->blockCount();
    m_cols.assign(size_t(blocks), 1);
    QString own;
    const QString &raw = m_rawText ? m_rawText() : (own = m_doc->toRawText());
    const QChar *p = raw.constData();
    const QChar *end = p + raw.size();
    int b = 0;
    while (b < blocks) {
        const QChar *e = std::find(p, end, kParagraphSeparator);
        m_cols[size_t(b)] = flow(p, int(e - p), nullptr);
        ++m_counted;
        ++b;
        if (e == end)
            break;
        p = e + 1;
    }
    if (b != blocks) { // the text and the document disagree: count paragraph by paragraph
        int k = 0;
        for (QTextBlock block = m_doc->begin(); block.isValid() && k < blocks; block = block.next(), ++k)
            m_cols[size_t(k)] = countBlock(block);
    }
    if (m_composition.isValid()) {
        const int number = m_composition.blockNumber();
        if (number >= 0 && number < blocks)
            m_cols[size_t(number)] = countBlock(m_composition);
    }
    m_allDirty = false;
    m_treeDirty = true;
}

void VerticalLayout::ensureTree()
{
    if (!m_allDirty && m_cols.size() != size_t(m_doc->blockCount()))
        invalidate(); // a change not announced yet: count afresh rather than answer from old counts
    if (m_allDirty)
        countAll();
    if (!m_treeDirty)
        return;
    const size_t n = m_cols.size();
    m_tree.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        m_tree[i] += m_cols[i - 1];
        const size_t j = i + (i & (~i + 1));
        if (j <= n)
            m_tree[j] += m_tree[i];
    }
    m_treeDirty = false;
}

void VerticalLayout::setCount(int blockNumber, int columns)
{
    if (m_allDirty || blockNumber < 0 || size_t(blockNumber) >= m_cols.size())
        return;
    const int delta = columns - m_cols[size_t(blockNumber)];
    if (delta == 0)
        return;
    m_cols[size_t(blockNumber)] = columns;
    if (m_treeDirty)
        return;
    for (size_t i = size_t(blockNumber) + 1; i < m_tree.size(); i += i & (~i + 1))
        m_tree[i] += delta;
}

void VerticalLayout::documentChanged(int from, int removed, int added)
{
    Q_UNUSED(removed);
    clearPlaced();
    if (m_allDirty)
        return;
    const int newCount = m_doc->blockCount();
    const int oldCount = int(m_cols.size());
    const int last = std::max(0, m_doc->characterCount() - 1);
    const QTextBlock first = m_doc->findBlock(std::clamp(from, 0, last));
    const QTextBlock end = m_doc->findBlock(std::clamp(from + added, 0, last));
    if (!first.isValid() || !end.isValid() || added > kFollowLimit) {
        invalidate();
        return;
    }
    const int b0 = first.blockNumber();
    const int fresh = end.blockNumber() - b0 + 1;
    const int stale = fresh - (newCount - oldCount);
    if (fresh < 1 || stale < 1 || b0 + stale > oldCount || fresh > kFollowLimit / 16) {
        invalidate();
        return;
    }
    std::vector<int> counts;
    counts.reserve(size_t(fresh));
    QTextBlock b = first;
    for (int k = 0; k < fresh && b.isValid(); ++k, b = b.next())
        counts.push_back(countBlock(b));
    if (int(counts.size()) != fresh) {
        invalidate();
        return;
    }
    if (stale == fresh) {
        for (int k = 0; k < fresh; ++k)
            setCount(b0 + k, counts[size_t(k)]);
    } else {
        m_cols.erase(m_cols.begin() + b0, m_cols.begin() + b0 + stale);
        m_cols.insert(m_cols.begin() + b0, counts.begin(), counts.end());
        m_treeDirty = true;
    }
}

void VerticalLayout::setCompositionBlock(const QTextBlock &block)
{
    const QTextBlock old = m_composition;
    m_composition = block;
    clearPlaced();
    if (m_allDirty)
        return;
    if (old.isValid() && old != block && old.document() == m_doc)
        setCount(old.blockNumber(), countBlock(old));
    if (block.isValid())
        setCount(block.blockNumber(), countBlock(block));
}

int VerticalLayout::columnCount()
{
    ensureTree();
    return firstColumn(int(m_cols.size()));
}

int VerticalLayout::firstColumn(int blockNumber)
{
    ensureTree();
    size_t i = size_t(std::clamp(blockNumber, 0, int(m_cols.size())));
    int sum = 0;
    for (; i > 0; i -= i & (~i + 1))
        sum += m_tree[i];
    return sum;
}

std::pair<int, int> VerticalLayout::locate(int column)
{
    ensureTree();
    const int n = int(m_cols.size());
    if (n == 0)
        return {0, 0};
    column = std::clamp(column, 0, std::max(0, columnCount() - 1));
    int pos = 0;
    int rest = column;
    int step = 1;
    while (step * 2 <= n)
        step *= 2;
    for (; step > 0; step /= 2) {
        if (pos + step <= n && m_tree[size_t(pos + step)] <= rest) {
            pos += step;
            rest -= m_tree[size_t(pos)];
        }
    }
    if (pos >= n) // only past the last column, which the clamp rules out
        return {n - 1, m_cols[size_t(n - 1)] - 1};
    return {pos, rest};
}

std::shared_ptr<const VerticalParagraph> VerticalLayout::paragraph(const QTextBlock &block)
{
    const int number = block.blockNumber();
    const auto it = m_paragraphs.find(number);
    if (it != m_paragraphs.end())
        return it->second;
    auto p = std::make_shared<VerticalParagraph>();
    p->text = shownText(block, &p->compositionAt, &p->compositionLength);
    const int columns = flow(p->text.constData(), int(p->text.size()), p.get());
    ++m_placed;
    setCount(number, columns); // the same rules count and place: this only mends a count that went astray
    if (m_paragraphs.size() >= 512)
        m_paragraphs.clear();
    m_paragraphs.emplace(number, p);
    return p;
}

} // namespace zv
