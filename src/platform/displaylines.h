#pragma once
// The display lines of a plain-text document with word wrap: the index that numbers the wrapped lines of
// its paragraphs. The document keeps each paragraph's line count in its block tree (so the first line of a
// paragraph is found in logarithmic time), but a view lays out only the paragraphs it shows and resets the
// counts of all others to 1 whenever the width changes. The index tracks which counts may be wrong and
// recounts them on demand, and counts the rest in the background in short slices.
//
// It works on any document whose layout keeps each paragraph's line count in its block as the plain-text
// layout does: the one of an editor, or a bare QTextDocument. Positions and lines are as the editor's: a line break counts as one position, an empty
// last line is left out of lineCount().

#include <QObject>
#include <QTextBlock>

#include <functional>
#include <utility>
#include <vector>

class QPaintDevice;
class QTextDocument;
class QTimer;

namespace zv {

class DisplayLineIndex : public QObject {
public:
    // wrapping tells whether lines wrap at all (and are shown by the view the index serves); device is what
    // the text is measured on (may be null). The index follows the document's edits and relayouts itself.
    DisplayLineIndex(QTextDocument *doc, QPaintDevice *device, std::function<bool()> wrapping,
                     QObject *parent = nullptr);

    int lineCount();
    QString lineText(int line);
    int lineFromChar(int pos); // pos is taken as it is: the caller keeps it within the text
    int lineIndex(int line);   // first position of a display line, -1 past the end

    // Every count may be wrong (a width, font, tab or wrap change): counting starts over.
    void invalidateAll();
    // Makes sure the paragraph has a layout at the current width, so its lines and line count are right.
    void layOut(const QTextBlock &block) const;
    // True while paragraphs are left to count in the background.
    bool counting() const;

private:
    bool wrapping() const { return m_wrapping(); }
    void scheduleCounting();
    void countSlice();
    void announceCounts() const;
    float advanceOf(char16_t c) const;
    bool surelyOneLine(const QString &text, qreal width) const;
    qreal lineWidth() const;
    void noteEdit(int from, int removed, int added);
    int countLines(const QTextBlock &block) const;
    void recountLines(QTextBlock block) const;
    void recountLines(int from, int to) const;
    void ensureLinesUpTo(int pos);
    QTextBlock blockForLine(int line);

    QTextDocument *m_doc;
    QPaintDevice *m_device;
    std::function<bool()> m_wrapping;
    int m_validTo = 0;                        // counts of paragraphs starting before it are right...
    std::vector<std::pair<int, int>> m_stale; // ...except those overlapping these position ranges
    mutable bool m_countsChanged = false;
    mutable qreal m_probedLineWidth = -1;
    mutable std::vector<float> m_advances; // per UTF-16 unit, in the current font; < 0 not yet measured
    QTimer *m_timer;                       // counts the rest of the document in short slices
};

} // namespace zv
