// The editor's parts on their own: the display-line index and the byte count against a bare document,
// and the classification of input-method compositions.

#include "platform/bytecount.h"
#include "platform/composition.h"
#include "platform/displaylines.h"

#include <QAbstractTextDocumentLayout>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

namespace {

using Attr = QInputMethodEvent::Attribute;
using Attrs = QList<Attr>;

// A document layout of the kind the editor's view has: it lays out a paragraph only when asked, at a fixed
// width, keeps each paragraph's line count in the block, and sets the counts of changed paragraphs back to
// 1. A new width clears every layout and is announced as the one update over the whole document.
class LazyLayout : public QAbstractTextDocumentLayout {
public:
    explicit LazyLayout(QTextDocument *doc) : QAbstractTextDocumentLayout(doc) {}
    qreal width = 100;

    void setWidth(qreal w)
    {
        width = w;
        for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next()) {
            b.layout()->clearLayout();
            b.setLineCount(1);
        }
        emit update(QRectF(0, 0, 1e9, 1e9));
    }
    QRectF blockBoundingRect(const QTextBlock &block) const override
    {
        QTextLayout *tl = block.layout();
        if (tl->lineCount() == 0) {
            QTextOption opt = document()->defaultTextOption();
            tl->setTextOption(opt);
            tl->setFont(document()->defaultFont());
            tl->beginLayout();
            qreal y = 0;
            for (QTextLine line = tl->createLine(); line.isValid(); line = tl->createLine()) {
                line.setLeadingIncluded(true);
                line.setLineWidth(width);
                line.setPosition({0, y});
                y += line.height();
            }
            tl->endLayout();
            const_cast<QTextBlock &>(block).setLineCount(tl->lineCount());
        }
        return {0, 0, width, tl->boundingRect().height()};
    }
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {width, 0}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }

protected:
    void documentChanged(int from, int, int added) override
    {
        QTextBlock b = document()->findBlock(from);
        const QTextBlock end = document()->findBlock(std::max(0, from + added));
        for (; b.isValid(); b = b.next()) {
            b.layout()->clearLayout();
            b.setLineCount(1);
            if (b == end)
                break;
        }
    }
};

// A bare document with that layout, wrapping anywhere.
struct PlainDoc {
    QTextDocument doc;
    LazyLayout *layout = new LazyLayout(&doc);
    PlainDoc(qreal width, const QString &text)
    {
        doc.setDocumentLayout(layout);
        QTextOption opt = doc.defaultTextOption();
        opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        doc.setDefaultTextOption(opt);
        layout->width = width;
        doc.setPlainText(text);
    }
};

struct Line {
    int start;
    QString text;
    bool operator==(const Line &) const = default;
};

// Every display line of the text, from a second document of the same width laid out whole.
QList<Line> referenceLines(const QString &text, qreal width)
{
    PlainDoc ref(width, text);
    QList<Line> lines;
    for (QTextBlock b = ref.doc.firstBlock(); b.isValid(); b = b.next()) {
        ref.doc.documentLayout()->blockBoundingRect(b);
        const QTextLayout *l = b.layout();
        for (int i = 0; i < l->lineCount(); ++i)
            lines.append({b.position() + l->lineAt(i).textStart(),
                          b.text().mid(l->lineAt(i).textStart(), l->lineAt(i).textLength())});
    }
    if (ref.doc.lastBlock().length() <= 1)
        lines.removeLast(); // an empty last line is not counted
    return lines;
}

// The index's view of every line and position, compared with the reference.
void compareWithReference(zv::DisplayLineIndex &index, const QTextDocument &doc, qreal width)
{
    const QList<Line> expected = referenceLines(doc.toPlainText(), width);
    QVERIFY(expected.size() > doc.blockCount()); // the fixture wraps
    QCOMPARE(index.lineCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(index.lineIndex(i), expected[i].start);
        QCOMPARE(index.lineText(i), expected[i].text);
    }
    QCOMPARE(index.lineIndex(int(expected.size()) + 5), -1);
    int line = 0;
    for (int pos = 0; pos < doc.characterCount() - 1; ++pos) {
        while (line + 1 < expected.size() && expected[line + 1].start <= pos)
            ++line;
        QCOMPARE(index.lineFromChar(pos), line);
    }
}

QString paragraphs()
{
    return QStringLiteral("short\n"
                          "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十\n"
                          "\n"
                          "words that wrap at their boundaries when the line is full, more than once, surely\n"
                          "\tTabbed\tcolumns\tof\ttext\tthat\tgo\ton\tand\ton\tand\ton\n"
                          "ｶﾀｶﾅ and 漢字 mixed, mixed, mixed, mixed, mixed, mixed, mixed, mixed\n");
}

Attr format(int start, int length, const QTextCharFormat &f) { return {QInputMethodEvent::TextFormat, start, length, f}; }

QTextCharFormat fmt(std::initializer_list<std::function<void(QTextCharFormat &)>> sets)
{
    QTextCharFormat f;
    for (const auto &set : sets)
        set(f);
    return f;
}

const auto background = [](QTextCharFormat &f) { f.setBackground(Qt::blue); };
const auto foreground = [](QTextCharFormat &f) { f.setForeground(Qt::red); };
const auto bold = [](QTextCharFormat &f) { f.setFontWeight(QFont::Bold); };
const auto italic = [](QTextCharFormat &f) { f.setFontItalic(true); };
const auto underline = [](QTextCharFormat &f) { f.setUnderlineStyle(QTextCharFormat::SingleUnderline); };
const auto dotted = [](QTextCharFormat &f) { f.setUnderlineStyle(QTextCharFormat::DotLine); };
const auto dashed = [](QTextCharFormat &f) { f.setUnderlineStyle(QTextCharFormat::DashUnderline); };
const auto wavy = [](QTextCharFormat &f) { f.setUnderlineStyle(QTextCharFormat::WaveUnderline); };

QString classes(const std::vector<int> &cls)
{
    QString s;
    for (int c : cls)
        s += QString::number(c);
    return s;
}

} // namespace

class TestEditorParts : public QObject {
    Q_OBJECT
private slots:
    void displayLinesFollowEditsAndWidth();
    void displayLinesWithoutWrap();
    void compositionClasses_data();
    void compositionClasses();
    void compositionAttributesKeepOthersAndColourRuns();
    void byteCountFollowsEdits();
};

void TestEditorParts::displayLinesFollowEditsAndWidth()
{
    qreal width = 160;
    PlainDoc d(width, paragraphs());
    zv::DisplayLineIndex index(&d.doc, nullptr, [] { return true; });
    compareWithReference(index, d.doc, width);

    // Edits before, inside and after counted paragraphs, with queries in between.
    QTextCursor c(&d.doc);
    c.setPosition(d.doc.findBlockByNumber(1).position() + 3);
    c.insertText(QStringLiteral("挿入した長い文章で段落がさらに折り返される挿入した長い文章"));
    compareWithReference(index, d.doc, width);
    c.setPosition(d.doc.findBlockByNumber(3).position());
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 2);
    c.removeSelectedText();
    c.setPosition(0);
    c.insertText(QStringLiteral("a new first paragraph, long enough to take two lines or three\n"));
    compareWithReference(index, d.doc, width);

    // A new width makes every count wrong until the index starts over; it then counts in the background.
    width = 110;
    d.layout->setWidth(width);
    QVERIFY(index.counting());
    QTRY_VERIFY(!index.counting());
    compareWithReference(index, d.doc, width);
}

void TestEditorParts::displayLinesWithoutWrap()
{
    PlainDoc d(60, QStringLiteral("a paragraph far wider than the width of the document\nb\n"));
    zv::DisplayLineIndex index(&d.doc, nullptr, [] { return false; });
    QCOMPARE(index.lineCount(), 2);
    QCOMPARE(index.lineText(0), QStringLiteral("a paragraph far wider than the width of the document"));
    QCOMPARE(index.lineIndex(1), 53);
    QCOMPARE(index.lineFromChar(54), 1);
    QCOMPARE(index.lineFromChar(1000), 2); // past the end: the empty last line
    QVERIFY(index.lineText(2).isEmpty());
}

void TestEditorParts::compositionClasses_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<Attrs>("attributes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no attributes: typing") << 3 << Attrs{} << "000";
    QTest::newRow("underline only: typing") << 3 << Attrs{format(0, 3, fmt({underline}))} << "000";
    QTest::newRow("wavy underline without background: typing") << 2 << Attrs{format(0, 2, fmt({wavy}))} << "00";
    QTest::newRow("highlighted clause, rest converted")
        << 5 << Attrs{format(0, 2, fmt({background})), format(2, 3, fmt({underline}))} << "11222";
    QTest::newRow("highlighted clause after unformatted text")
        << 4 << Attrs{format(2, 2, fmt({background}))} << "2211";
    QTest::newRow("highlighted and bold: boundary") << 4 << Attrs{format(1, 2, fmt({background, bold}))} << "2332";
    QTest::newRow("highlighted and dotted: boundary") << 2 << Attrs{format(0, 2, fmt({background, dotted}))} << "33";
    QTest::newRow("highlighted and dashed: boundary") << 2 << Attrs{format(0, 1, fmt({background, dashed}))} << "32";
    QTest::newRow("highlighted and wavy: boundary") << 2 << Attrs{format(1, 1, fmt({background, wavy}))} << "23";
    QTest::newRow("text colour: converted, rest typing") << 4 << Attrs{format(0, 2, fmt({foreground}))} << "2200";
    QTest::newRow("bold without background: converted") << 3 << Attrs{format(1, 1, fmt({bold}))} << "020";
    QTest::newRow("italic: converted") << 2 << Attrs{format(0, 2, fmt({italic}))} << "22";
    QTest::newRow("other attributes are passed over")
        << 3 << Attrs{Attr(QInputMethodEvent::Cursor, 1, 1), format(0, 1, fmt({foreground}))} << "200";
    QTest::newRow("ranges held to the composition")
        << 3 << Attrs{format(-2, 3, fmt({background})), format(2, 10, fmt({italic}))} << "122";
    QTest::newRow("the later format wins") << 2 << Attrs{format(0, 2, fmt({background})), format(0, 1, fmt({}))} << "21";
    QTest::newRow("empty composition") << 0 << Attrs{format(0, 2, fmt({background}))} << "";
}

void TestEditorParts::compositionClasses()
{
    QFETCH(int, length);
    QFETCH(Attrs, attributes);
    QFETCH(QString, expected);
    QCOMPARE(classes(zv::classifyComposition(length, attributes)), expected);
}

void TestEditorParts::compositionAttributesKeepOthersAndColourRuns()
{
    const zv::CompColorTable colors{zv::CompColor{0x0000FF, 0xFFFFFF, 0}, zv::CompColor{0x00FF00, 0x000000, 0x1},
                                    zv::CompColor{0xFF0000, 0x808080, 0x2}, zv::CompColor{0, 0, 0x8}};
    const Attrs in{Attr(QInputMethodEvent::Cursor, 4, 1), format(1, 2, fmt({background, bold}))};
    const Attrs out = zv::compositionAttributes(5, in, colors);
    QCOMPARE(out.size(), 4);
    QCOMPARE(out[0].type, QInputMethodEvent::Cursor);
    QCOMPARE(out[0].start, 4);
    // The highlighted bold clause is entry 3; around it the composition is being converted (entry 2).
    const int starts[] = {0, 1, 3}, lengths[] = {1, 2, 2}, entries[] = {2, 3, 2};
    for (int r = 0; r < 3; ++r) {
        const Attr &a = out[r + 1];
        QCOMPARE(a.type, QInputMethodEvent::TextFormat);
        QCOMPARE(a.start, starts[r]);
        QCOMPARE(a.length, lengths[r]);
        const QTextCharFormat f = qvariant_cast<QTextFormat>(a.value).toCharFormat();
        const zv::CompColor &e = colors[size_t(entries[r])];
        QCOMPARE(f.foreground().color(), QColor(e.text & 0xFF, (e.text >> 8) & 0xFF, e.text >> 16));
        QCOMPARE(f.background().color(), QColor(e.background & 0xFF, (e.background >> 8) & 0xFF, e.background >> 16));
        QCOMPARE(f.underlineStyle(), QTextCharFormat::SingleUnderline);
        QCOMPARE(f.fontWeight() == QFont::Bold, bool(e.effects & 0x1));
        QCOMPARE(f.fontItalic(), bool(e.effects & 0x2));
        QCOMPARE(f.fontStrikeOut(), bool(e.effects & 0x8));
    }
}

void TestEditorParts::byteCountFollowsEdits()
{
    QTextDocument doc;
    zv::ByteCount bytes(&doc);
    QCOMPARE(bytes.total(), 0);
    struct Case {
        const char16_t *text;
        qint64 size;
    };
    // ASCII 1, half-width katakana 1, raw-byte markers 1, others 2 (a surrogate pair 2 + 2), a break 2.
    const Case cases[] = {{u"abc", 3},           {u"ｱｲｳﾟ", 4},          {u"\uF700\uF7FF", 2},
                          {u"\uF6FF\uF800", 4},  {u"漢字", 4},          {u"\U0001F600", 4},
                          {u"a\nb\n", 6},        {u"\n\n\n", 6},        {u"", 0}};
    for (const Case &c : cases) {
        doc.setPlainText(QString::fromUtf16(c.text));
        QCOMPARE(bytes.total(), c.size);
    }
    // Edits across paragraphs: a paragraph removed takes its bytes with it.
    doc.setPlainText(QStringLiteral("一行目\nsecond\n三"));
    QCOMPARE(bytes.total(), 6 + 2 + 6 + 2 + 2);
    QTextCursor c(&doc);
    c.setPosition(2);
    c.setPosition(doc.findBlockByNumber(2).position(), QTextCursor::KeepAnchor);
    c.insertText(QStringLiteral("X\nｶ"));
    QCOMPARE(doc.toPlainText(), QStringLiteral("一行X\nｶ三"));
    QCOMPARE(bytes.total(), 4 + 1 + 2 + 1 + 2);
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    QCOMPARE(bytes.total(), 0);
    doc.setPlainText(QStringLiteral("ab漢"));
    bytes.setCharByteSize([](char16_t ch) { return ch == u'a' ? 5 : 0; });
    QCOMPARE(bytes.total(), 5);
    bytes.setCharByteSize(nullptr);
    QCOMPARE(bytes.total(), 4);
}

QTEST_MAIN(TestEditorParts)
#include "test_editorparts.moc"
