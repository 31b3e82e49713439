#pragma once
// The size of a document's text in CP932 bytes, kept current on every change at a cost that follows the
// paragraphs changed, not the document. Each paragraph's count is kept in its block (as its user data), so
// a paragraph removed takes its bytes off the total whenever that happens.

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class QTextBlock;
class QTextDocument;

namespace zv {

struct ByteTally;

// The bytes a character takes in CP932: < 0x80, half-width katakana U+FF61..U+FF9F and the raw-byte markers
// count 1, everything else 2.
int editorCharBytes(char16_t c);

class ByteCount : public QObject {
public:
    // Counts the document's text now and follows its edits.
    explicit ByteCount(QTextDocument *doc, QObject *parent = nullptr);

    // The whole text, each line break counted as 2 (CR LF).
    qint64 total() const;
    // Sets the byte size of one character (null: editorCharBytes) and recounts the text.
    void setCharByteSize(const std::function<int(char16_t)> &size);

private:
    void recountBlock(const QTextBlock &block);
    void recountRange(int from, int added);
    void recountAll();

    QTextDocument *m_doc;
    std::shared_ptr<ByteTally> m_tally;
    std::array<quint8, 65536> m_sizes{};
};

} // namespace zv
