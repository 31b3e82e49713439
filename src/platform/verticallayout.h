#pragma once
// Vertical writing: how the paragraphs of a plain-text document fall into columns that run from top to
// bottom. The model is a grid: at a given font every character has a known advance along its column (an
// upright character one full-width cell, a Latin character turned on its side its own width), so the
// number of columns of a paragraph follows from its text alone. Column counts are kept for every
// paragraph (counted in one pass over the text when first needed, kept current on edits), and only the
// paragraphs that are looked at (painted, hit, navigated) get the positions of their characters.

#include <QFont>
#include <QList>
#include <QString>
#include <QTextBlock>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QPaintDevice;
class QTextDocument;

namespace zv {

// How a character stands in a column.
enum class VForm : quint8 {
    Upright,   // kanji, kana, full-width letters and symbols: upright in a square cell
    Corner,    // 、。，．: upright, in the upper right corner of the cell
    SmallKana, // small kana: upright, moved up and to the right
    Turned,    // brackets, the long vowel mark, dashes, wave dashes, leaders: turned 90° clockwise in a square cell
    Sideways,  // Latin letters, digits, half-width characters: turned 90° clockwise, with their own advance
    Tab,       // up to the next tab stop along the column
    RawByte,   // an undecodable byte (U+F700..U+F7FF): an upright framed box
    Mark,      // a combining mark or the second half of a surrogate pair: drawn with the character before it
};

VForm verticalForm(char16_t c);

// The characters of one paragraph placed in its columns. Indexes count the shown text: the paragraph's
// text with the composition (the input method's text not yet committed) spliced in at its place.
struct VerticalParagraph {
    QString text;
    int compositionAt = -1; // index where the composition starts, -1 without one
    int compositionLength = 0;
    std::vector<int> starts;   // first index of each column (starts[0] == 0)
    std::vector<float> offset; // text.size() + 1 entries: where each index stands along its column
    std::vector<float> extent; // text.size() entries: its advance along the column (0 for a mark)

    int columnCount() const { return int(starts.size()); }
    int columnOf(int index) const; // the column an index (a caret position) is shown in
    int columnEnd(int column) const { return column + 1 < columnCount() ? starts[size_t(column) + 1] : int(text.size()); }
    // Paragraph positions (as the document counts them) to shown indexes and back. A shown index inside the
    // composition maps to the position the composition stands at.
    int shownIndex(int position) const;
    int position(int shownIndex) const;
};

class VerticalLayout {
public:
    explicit VerticalLayout(QTextDocument *doc);
    ~VerticalLayout();

    // What the columns depend on. A change of any of them discards all counts and positions.
    void setFont(const QFont &font, QPaintDevice *device);
    void setColumnLength(qreal length);
    void setTabs(const QList<qreal> &stops, qreal distance);
    // Where the whole text comes from for a full count (paragraphs separated by U+2029); the document's
    // own raw text when unset.
    void setRawTextSource(std::function<const QString &()> source);
    // The paragraph holding the input method's composition (an invalid block for none): it is counted and
    // placed with the composition in it.
    void setCompositionBlock(const QTextBlock &block);
    QTextBlock compositionBlock() const { return m_composition; }

    const QFont &font() const { return m_font; }
    qreal cell() const { return m_cell; }   // advance of an upright character, the full-width cell
    qreal pitch() const { return m_pitch; } // distance from one column to the next
    qreal columnLength() const { return m_length; }
    const QList<qreal> &tabStops() const { return m_tabStops; }
    qreal tabDistance() const { return m_tabDistance; }
    bool counted() const { return !m_allDirty; } // the counts are there (a query costs no full count)
    qreal advance(char16_t c) const;        // the horizontal advance of a character in the font

    // Keeps the counts in step with an edit of the document (from, characters removed, characters added).
    void documentChanged(int from, int removed, int added);
    // Forgets everything (counts and positions).
    void invalidate();

    // Columns of the whole document, the first column of a paragraph, the paragraph and its column that
    // hold a column of the document (clamped into the document).
    int columnCount();
    int firstColumn(int blockNumber);
    std::pair<int, int> locate(int column);

    // The placed characters of a paragraph, laid out when first asked for and kept until the next change.
    std::shared_ptr<const VerticalParagraph> paragraph(const QTextBlock &block);

    // How much work has been done since the layout was made: paragraphs placed character by character,
    // and paragraphs counted (a full count counts every paragraph once).
    qint64 paragraphsPlaced() const { return m_placed; }
    qint64 paragraphsCounted() const { return m_counted; }

private:
    int flow(const QChar *s, int n, VerticalParagraph *out) const;
    qreal advanceAt(VForm form, char16_t c, qreal pos) const;
    QString shownText(const QTextBlock &block, int *compositionAt, int *compositionLength) const;
    int countBlock(const QTextBlock &block);
    void countAll();
    void ensureTree();
    void setCount(int blockNumber, int columns);
    void clearPlaced() { m_paragraphs.clear(); }

    QTextDocument *m_doc;
    std::function<const QString &()> m_rawText;
    QFont m_font;
    qreal m_cell = 16;
    qreal m_pitch = 24;
    qreal m_length = 400;
    QList<qreal> m_tabStops;
    qreal m_tabDistance = 0;
    mutable std::vector<float> m_advances; // per UTF-16 unit, < 0 not measured yet
    QFont m_measureFont;                   // m_font without decorations, on the paint device
    QPaintDevice *m_device = nullptr;
    QTextBlock m_composition;

    bool m_allDirty = true;       // no counts at all: the next query counts the whole text
    std::vector<int> m_cols;      // columns of each paragraph
    std::vector<int> m_tree;      // running sums over m_cols (a binary indexed tree, 1-based)
    bool m_treeDirty = true;
    std::unordered_map<int, std::shared_ptr<const VerticalParagraph>> m_paragraphs; // by block number
    qint64 m_placed = 0;
    qint64 m_counted = 0;
};

} // namespace zv
