// The running CP932 byte count of a document.

#include "bytecount.h"
#include "textcodec.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace zv {

int editorCharBytes(char16_t c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xFF61 && c <= 0xFF9F) // half-width katakana
        return 1;
    if (isOpaqueByte(QChar(c))) // a raw byte the file layer could not decode
        return 1;
    return 2;
}

// The running total of the character bytes of all paragraphs. Shared with every paragraph's record so
// that a record removed with its paragraph takes its bytes off the total, whenever that happens.
struct ByteTally {
    qint64 charBytes = 0;
};

namespace {
class BlockBytes : public QTextBlockUserData {
public:
    explicit BlockBytes(std::shared_ptr<ByteTally> tally) : m_tally(std::move(tally)) {}
    ~BlockBytes() override { m_tally->charBytes -= bytes; }
    qint64 bytes = 0;

private:
    std::shared_ptr<ByteTally> m_tally;
};
} // namespace

ByteCount::ByteCount(QTextDocument *doc, QObject *parent)
    : QObject(parent), m_doc(doc), m_tally(std::make_shared<ByteTally>())
{
    doc->documentLayout(); // a document reports its changes only once it has a layout
    setCharByteSize(nullptr);
    connect(doc, &QTextDocument::contentsChange, this,
            [this](int from, int /*removed*/, int added) { recountRange(from, added); });
}

qint64 ByteCount::total() const { return m_tally->charBytes + 2 * qint64(m_doc->blockCount() - 1); }

void ByteCount::setCharByteSize(const std::function<int(char16_t)> &size)
{
    for (int c = 0; c < 65536; ++c)
        m_sizes[c] = quint8(std::clamp(size ? size(char16_t(c)) : editorCharBytes(char16_t(c)), 0, 255));
    recountAll();
}

void ByteCount::recountBlock(const QTextBlock &block)
{
    auto *info = static_cast<BlockBytes *>(block.userData());
    if (!info) {
        info = new BlockBytes(m_tally);
        const_cast<QTextBlock &>(block).setUserData(info);
    }
    qint64 n = 0;
    const QString text = block.text();
    for (QChar c : text)
        n += m_sizes[c.unicode()];
    m_tally->charBytes += n - info->bytes;
    info->bytes = n;
}

void ByteCount::recountRange(int from, int added)
{
    const int last = std::max(0, m_doc->characterCount() - 1);
    QTextBlock block = m_doc->findBlock(std::clamp(from, 0, last));
    const QTextBlock end = m_doc->findBlock(std::clamp(from + added, 0, last));
    while (block.isValid()) {
        recountBlock(block);
        if (block == end)
            break;
        block = block.next();
    }
}

void ByteCount::recountAll()
{
    for (QTextBlock b = m_doc->firstBlock(); b.isValid(); b = b.next())
        recountBlock(b);
}

} // namespace zv
