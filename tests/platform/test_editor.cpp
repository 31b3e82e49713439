// The document editor widget: display lines and positions, selection, undo, find, options, byte size,
// tab stops, the selection bar, composition colours, reserved shortcuts, drops, the text limit, printing.

#include "platform/colors.h"
#include "platform/editor.h"
#include "platform/monospacefont.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPrinter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>
#include <QVBoxLayout>

using namespace zv;

using PosList = QList<QPair<int, int>>;
using TextList = QList<QPair<int, QString>>;

namespace {

FontSpec monoFont(int size = 10)
{
    FontSpec f;
    f.name = QStringLiteral("DejaVu Sans Mono");
    f.pointSize = size;
    return f;
}

// Makes the editor wrap after exactly n monospace characters.
void setCharsPerLine(Editor &e, int n)
{
    if (!e.wordWrap())
        e.setWordWrap(true);
    const qreal w = QFontMetricsF(e.font(), e.viewport()).horizontalAdvance(QLatin1Char('a'));
    const int target = int(std::ceil((n + 0.5) * w + 2 * e.document()->documentMargin()));
    for (int i = 0; i < 3 && e.viewport()->width() != target; ++i) {
        e.resize(e.width() + target - e.viewport()->width(), e.height());
        QCoreApplication::processEvents();
    }
    QCOMPARE(e.viewport()->width(), target);
}

qint64 recount(const QString &text, int (*size)(char16_t))
{
    qint64 n = 0;
    for (QChar c : text)
        n += size(c.unicode());
    return n;
}

int cp932Like(char16_t c)
{
    if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F) || (c >= 0xF700 && c <= 0xF7FF))
        return 1;
    return 2;
}

// Per-character foreground and background the preedit is drawn with, from the block layout's formats.
QList<QPair<QColor, QColor>> preeditColors(const Editor &e, int start, int length)
{
    const QTextBlock block = e.textCursor().block();
    const auto formats = block.layout()->formats();
    QList<QPair<QColor, QColor>> out;
    for (int i = 0; i < length; ++i) {
        QPair<QColor, QColor> c;
        for (const auto &r : formats)
            if (start + i >= r.start && start + i < r.start + r.length)
                c = {r.format.foreground().color(), r.format.background().color()};
        out.append(c);
    }
    return out;
}

QInputMethodEvent::Attribute textFormat(int start, int length, const QTextCharFormat &f)
{
    return QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, start, length, f);
}

int pdfPages(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = f.readAll();
    int n = 0;
    for (qsizetype at = data.indexOf("/Type /Page"); at >= 0; at = data.indexOf("/Type /Page", at + 1))
        if (data.mid(at + 11, 1) != "s")
            ++n;
    return n;
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void wrappedCountsFollowOffscreenEditsAndWidth();
    void wrappedCountsMatchLayout();
    void selection_data();
    void selection();
    void notifications();
    void options_data();
    void options();
    void undoSteps();
    void find_data();
    void find();
    void byteSizeFollowsEdits();
    void tabStopsAlignText();
    void selectionBarSelectsLines();
    void imeColors_data();
    void imeColors();
    void reservedShortcutsGoToWindow();
    void droppedFile();
    void keyHook_data();
    void keyHook();
    void textLimit();
    void fontFallbackKeepsName();
    void rawBytesDrawnAsBoxes();
    void print();
};

// --- display lines ---------------------------------------------------------------------------------------------

void TestEditor::lines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("charsPerLine"); // 0: no wrap
    QTest::addColumn<int>("count");
    QTest::addColumn<PosList>("lineOfPos");   // position -> line
    QTest::addColumn<PosList>("indexOfLine"); // line -> first position
    QTest::addColumn<TextList>("texts");

    QTest::newRow("empty") << QString() << 0 << 0 << PosList{{0, 0}} << PosList{{0, 0}, {1, -1}}
                           << TextList{{0, ""}, {1, ""}};
    QTest::newRow("two lines and empty last") << "abc\r\ndef\r\n" << 0 << 2
                                              << PosList{{0, 0}, {3, 0}, {4, 1}, {7, 1}, {8, 2}, {99, 2}}
                                              << PosList{{0, 0}, {1, 4}, {2, 8}, {3, -1}}
                                              << TextList{{0, "abc"}, {1, "def"}, {2, ""}};
    QTest::newRow("LF breaks, empty middle") << "abc\n\nxyz" << 0 << 3 << PosList{{4, 1}, {5, 2}}
                                             << PosList{{1, 4}, {2, 5}} << TextList{{1, ""}, {2, "xyz"}};
    QTest::newRow("long line without wrap") << QString(25, u'a') + "\r\nbb" << 0 << 2 << PosList{{24, 0}, {26, 1}}
                                            << PosList{{1, 26}} << TextList{{0, QString(25, u'a')}};
    QTest::newRow("wrapped paragraph") << QString(25, u'a') + "\r\nbb" << 10 << 4
                                       << PosList{{0, 0}, {9, 0}, {10, 1}, {19, 1}, {20, 2}, {25, 2}, {26, 3}, {28, 3}}
                                       << PosList{{0, 0}, {1, 10}, {2, 20}, {3, 26}, {4, -1}}
                                       << TextList{{0, QString(10, u'a')}, {2, "aaaaa"}, {3, "bb"}};
    QTest::newRow("wrapped words") << "aaaa bbbb cccc" << 10 << 2 << PosList{{9, 0}, {10, 1}} << PosList{{1, 10}}
                                   << TextList{{0, "aaaa bbbb "}, {1, "cccc"}};
}

void TestEditor::lines()
{
    QFETCH(QString, text);
    QFETCH(int, charsPerLine);
    QFETCH(int, count);
    QFETCH(PosList, lineOfPos);
    QFETCH(PosList, indexOfLine);
    QFETCH(TextList, texts);

    Editor e;
    e.setEditorFont(monoFont());
    e.resize(400, 300);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    if (charsPerLine)
        setCharsPerLine(e, charsPerLine);
    else
        e.setWordWrap(false);
    e.loadText(text);

    QCOMPARE(e.lineCount(), count);
    for (auto [pos, line] : lineOfPos)
        QCOMPARE(e.lineFromChar(pos), line);
    for (auto [line, index] : indexOfLine)
        QCOMPARE(e.lineIndex(line), index);
    for (const auto &[line, t] : texts)
        QCOMPARE(e.lineText(line), t);
}

// Paragraphs far below the visible part have not been laid out by the view; their wrapped line counts
// must still be right, also after the width changes and after edits out of sight.
void TestEditor::wrappedCountsFollowOffscreenEditsAndWidth()
{
    Editor e;
    e.setEditorFont(monoFont());
    e.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e.resize(400, 120);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    setCharsPerLine(e, 10);
    QStringList paras;
    for (int i = 0; i < 300; ++i)
        paras << QString(25, QChar(u'a' + i % 26)); // three display lines each at 10 per line
    e.loadText(paras.join(u'\n'));
    const int lastPara = 299 * 26;

    QCOMPARE(e.lineFromChar(lastPara), 299 * 3);
    QCOMPARE(e.lineIndex(299 * 3 + 2), lastPara + 20);
    QCOMPARE(e.lineCount(), 900);

    setCharsPerLine(e, 5); // five lines each
    QCOMPARE(e.lineFromChar(lastPara + 7), 299 * 5 + 1);
    QCOMPARE(e.lineCount(), 1500);

    // An edit out of sight: paragraph 200 becomes 50 characters long (ten lines).
    e.setSelStart(200 * 26);
    e.replaceSelection(QString(25, u'x'));
    QCOMPARE(e.lineFromChar(lastPara + 25 + 7), 299 * 5 + 5 + 1);
    QCOMPARE(e.lineText(200 * 5 + 9), QString(5, QChar(u'a' + 200 % 26)));

    // Scrolling to the end agrees with the counts.
    e.verticalScrollBar()->setValue(e.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    const int top = e.cursorForPosition(QPoint(0, 0)).blockNumber();
    QVERIFY2(top > 280, qPrintable(QString::number(top)));

    e.setWordWrap(false);
    QCOMPARE(e.lineCount(), 300);
    QCOMPARE(e.lineFromChar(lastPara + 25 + 7), 299);
}

// Counting display lines without laying paragraphs out must give what the layout gives, for mixed
// scripts, tabs and paragraphs just around the wrap width, and stay right across edits anywhere.
void TestEditor::wrappedCountsMatchLayout()
{
    Editor e;
    e.setEditorFont(monoFont(12));
    e.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e.resize(400, 100);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    setCharsPerLine(e, 30);
    e.setTabCount(10);
    for (int i = 0; i < 10; ++i)
        e.setTabStop(i, i * 27);
    const QStringList pieces = {"word ", "漢字", "かな", "ｶﾅ", "\t", "、", "。", "Ａｂ", "x", "longerword", "  "};
    QRandomGenerator rng(77);
    QStringList paras;
    for (int i = 0; i < 400; ++i) {
        QString p;
        const int target = rng.bounded(0, 70);
        while (p.size() < target)
            p += pieces.at(rng.bounded(int(pieces.size())));
        paras << p;
    }
    e.loadText(paras.join(u'\n'));
    const int count = e.lineCount();
    QList<int> positions, lines;
    for (int i = 0; i < 50; ++i) {
        positions << rng.bounded(e.textLength() + 1);
        lines << e.lineFromChar(positions.last());
    }

    // The truth: every paragraph laid out by the view itself.
    int truth = 0;
    QList<int> firstLine;
    for (QTextBlock b = e.document()->firstBlock(); b.isValid(); b = b.next()) {
        e.document()->documentLayout()->blockBoundingRect(b);
        firstLine << truth;
        truth += b.layout()->lineCount();
    }
    QCOMPARE(count, truth - (paras.last().isEmpty() ? 1 : 0));
    for (int i = 0; i < positions.size(); ++i) {
        const QTextBlock b = e.document()->findBlock(positions[i]);
        const int expected = firstLine[b.blockNumber()] + b.layout()->lineForTextPosition(positions[i] - b.position()).lineNumber();
        QCOMPARE(lines[i], expected);
    }

    // Random edits all over the text, each round checked against paragraphs laid out afresh (apart from
    // the document, so that the document's own counts are not touched).
    const qreal width = e.document()->firstBlock().layout()->lineAt(0).width();
    auto linesOf = [&](const QTextBlock &b) {
        QTextLayout tl(b.text(), e.document()->defaultFont(), e.viewport());
        tl.setTextOption(e.document()->defaultTextOption());
        tl.beginLayout();
        for (QTextLine l = tl.createLine(); l.isValid(); l = tl.createLine())
            l.setLineWidth(width);
        tl.endLayout();
        return tl.lineCount();
    };
    for (int round = 0; round < 25; ++round) {
        for (int k = 0; k < 4; ++k) {
            const int op = rng.bounded(4);
            e.setSelStart(rng.bounded(e.textLength() + 1));
            e.setSelLength(op == 0 ? rng.bounded(200) : rng.bounded(5));
            if (op == 3)
                e.undoEdit();
            else
                e.replaceSelection(op == 1 ? "\n" + pieces.at(rng.bounded(int(pieces.size()))).repeated(rng.bounded(1, 12))
                                           : pieces.at(rng.bounded(int(pieces.size()))));
        }
        const int pos = rng.bounded(e.textLength() + 1);
        const int line = e.lineFromChar(pos);
        const int total = e.lineCount();
        int expectedLine = 0, expectedTotal = 0;
        const QTextBlock at = e.document()->findBlock(pos);
        for (QTextBlock b = e.document()->firstBlock(); b.isValid(); b = b.next()) {
            if (b == at) {
                QTextLayout tl(b.text(), e.document()->defaultFont(), e.viewport());
                tl.setTextOption(e.document()->defaultTextOption());
                tl.beginLayout();
                for (QTextLine l = tl.createLine(); l.isValid(); l = tl.createLine())
                    l.setLineWidth(width);
                tl.endLayout();
                expectedLine = expectedTotal + tl.lineForTextPosition(pos - b.position()).lineNumber();
            }
            expectedTotal += linesOf(b);
        }
        if (e.document()->lastBlock().length() <= 1)
            --expectedTotal;
        QCOMPARE(line, expectedLine);
        QCOMPARE(total, expectedTotal);
        QCOMPARE(e.lineIndex(line) <= pos, true);
    }
}

// --- selection -------------------------------------------------------------------------------------------------

void TestEditor::selection_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expStart");
    QTest::addColumn<int>("expLength");
    QTest::addColumn<QString>("expText");

    // "hello\r\nworld": the line break is one position, 11 in all.
    QTest::newRow("inside a line") << 2 << 3 << 2 << 3 << "llo";
    QTest::newRow("across the break") << 3 << 4 << 3 << 4 << "lo\r\nw";
    QTest::newRow("past the end") << 9 << 10 << 9 << 2 << "ld";
    QTest::newRow("negative start") << -5 << 2 << 0 << 2 << "he";
    QTest::newRow("start past the end") << 50 << 0 << 11 << 0 << "";
    QTest::newRow("caret only") << 6 << 0 << 6 << 0 << "";
}

void TestEditor::selection()
{
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(int, expStart);
    QFETCH(int, expLength);
    QFETCH(QString, expText);

    Editor e;
    e.loadText("hello\r\nworld");
    e.selectAllText();
    QCOMPARE(e.selLength(), 11);
    e.setSelStart(start);
    QCOMPARE(e.selLength(), 0); // setting the start collapses
    e.setSelLength(length);
    QCOMPARE(e.selStart(), expStart);
    QCOMPARE(e.selLength(), expLength);
    QCOMPARE(e.selText(), expText);

    e.replaceSelection("XY");
    QCOMPARE(e.selStart(), expStart + 2); // the caret follows the new text
    QCOMPARE(e.selLength(), 0);
    QString expected = QString("hello\r\nworld");
    const int at = expStart < 6 ? expStart : expStart + 1; // positions after the break are one behind
    const int len = expText.size();
    expected.replace(at, len, "XY");
    QCOMPARE(e.text(), expected);
    QCOMPARE(e.plainText(), QString(expected).replace("\r\n", "\n"));

    e.setSelStart(0);
    e.setSelLength(2);
    e.clearSelection();
    QCOMPARE(e.text(), expected.mid(2));
}

void TestEditor::notifications()
{
    Editor e;
    QSignalSpy changed(&e, &Editor::textChangedByUser);
    QSignalSpy moved(&e, &Editor::selectionMoved);
    e.setText("abc\r\ndef");
    QVERIFY(changed.count() >= 1);
    moved.clear();
    e.setSelStart(5);
    QCOMPARE(moved.count(), 1);
    e.setSelLength(2);
    QCOMPARE(moved.count(), 2);
    e.setSelStart(5); // collapsing the selection is a movement too
    QCOMPARE(moved.count(), 3);
    changed.clear();
    e.replaceSelection("x");
    QCOMPARE(changed.count(), 1);
    QVERIFY(moved.count() >= 4);
}

// --- options ---------------------------------------------------------------------------------------------------

void TestEditor::options_data()
{
    QTest::addColumn<unsigned>("initial");
    QTest::addColumn<int>("op");
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<unsigned>("expected");

    const unsigned S = ECO_SELECTIONBAR, V = ECO_VERTICAL;
    QTest::newRow("or sets") << 0u << int(ECOOP_OR) << S << S;
    QTest::newRow("or adds") << S << int(ECOOP_OR) << V << (S | V);
    QTest::newRow("xor clears") << (S | V) << int(ECOOP_XOR) << S << V;
    QTest::newRow("xor sets") << V << int(ECOOP_XOR) << S << (S | V);
    QTest::newRow("and keeps") << (S | V) << int(ECOOP_AND) << S << S;
    QTest::newRow("and clears") << V << int(ECOOP_AND) << S << 0u;
    QTest::newRow("set replaces") << (S | V) << int(ECOOP_SET) << V << V;
    QTest::newRow("set nothing") << S << int(ECOOP_SET) << 0u << 0u;
    QTest::newRow("other bits ignored") << 0u << int(ECOOP_OR) << (S | 0x40u) << S;
}

void TestEditor::options()
{
    QFETCH(unsigned, initial);
    QFETCH(int, op);
    QFETCH(unsigned, flags);
    QFETCH(unsigned, expected);

    Editor e;
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.setOptions(ECOOP_SET, initial);
    QCOMPARE(e.setOptions(op, flags), expected);
    QCOMPARE(e.options(), expected);
    const bool bar = expected & ECO_SELECTIONBAR;
    QCOMPARE(e.selectionBar()->isVisible(), bar);
    // The strip stands at the left edge, or along the top edge in vertical writing.
    const bool vertical = expected & ECO_VERTICAL;
    QCOMPARE(e.viewport()->geometry().left() - e.contentsRect().left(), bar && !vertical ? e.selectionBarWidth() : 0);
    QCOMPARE(e.viewport()->geometry().top() - e.contentsRect().top(), bar && vertical ? e.selectionBarWidth() : 0);
}

// --- undo ------------------------------------------------------------------------------------------------------

void TestEditor::undoSteps()
{
    Editor e;
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.setWordWrap(false);
    e.loadText("start ");
    QVERIFY(!e.canUndoEdit());
    QVERIFY(!e.modified());
    e.setSelStart(6);

    // A typing run is one step; a program replacement between two runs is a step of its own.
    QTest::keyClicks(&e, "ab");
    e.replaceSelection("\r\n  ");
    QTest::keyClicks(&e, "cd");
    QCOMPARE(e.text(), QString("start ab\r\n  cd"));
    QVERIFY(e.modified());
    e.undoEdit();
    QCOMPARE(e.text(), QString("start ab\r\n  "));
    e.undoEdit();
    QCOMPARE(e.text(), QString("start ab"));
    e.undoEdit();
    QCOMPARE(e.text(), QString("start "));
    QVERIFY(!e.canUndoEdit());

    // A whole-text replacement is one step that brings the old text back.
    e.loadText("line one\r\nline two");
    e.setText("-----BEGIN PGP MESSAGE-----\r\n\r\nabc\r\n-----END PGP MESSAGE-----\r\n");
    QVERIFY(e.modified());
    QCOMPARE(e.lineText(0), QString("-----BEGIN PGP MESSAGE-----"));
    QVERIFY(e.canUndoEdit());
    e.undoEdit();
    QCOMPARE(e.text(), QString("line one\r\nline two"));
    QVERIFY(!e.canUndoEdit());

    // The same text again changes nothing.
    e.setModified(false);
    e.setText("line one\nline two");
    QVERIFY(!e.modified());
    QVERIFY(!e.canUndoEdit());

    e.clearAll();
    QCOMPARE(e.text(), QString());
    QVERIFY(!e.canUndoEdit());
    QVERIFY(!e.modified());
}

// --- find ------------------------------------------------------------------------------------------------------

void TestEditor::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<int>("expected");

    const QString abc = "abc ABC abc";
    QTest::newRow("case on") << abc << "ABC" << 0 << 11 << true << 4;
    QTest::newRow("case off") << abc << "ABC" << 0 << 11 << false << 0;
    QTest::newRow("from skips") << abc << "abc" << 1 << 11 << true << 8;
    QTest::newRow("match must end in range") << abc << "ABC" << 1 << 6 << false << -1;
    QTest::newRow("match ends at range end") << abc << "ABC" << 1 << 7 << false << 4;
    QTest::newRow("end beyond text") << abc << "abc" << 5 << 1000 << true << 8;
    QTest::newRow("absent") << abc << "abd" << 0 << 11 << false << -1;
    QTest::newRow("empty pattern") << abc << "" << 0 << 11 << false << -1;
    QTest::newRow("full-width case off") << "１２ｘｙＺ" << "ＸＹｚ" << 0 << 5 << false << 2;
    QTest::newRow("full-width case on") << "１２ｘｙＺ" << "ＸＹｚ" << 0 << 5 << true << -1;
    QTest::newRow("Japanese") << "日本語のテキストです" << "テキスト" << 0 << 10 << true << 4;
    QTest::newRow("across a line break") << "ab\r\ncd" << "b\r\nc" << 0 << 5 << true << 1;
    QTest::newRow("positions after a break") << "ab\r\ncd\r\nab" << "ab" << 1 << 8 << true << 6;
}

void TestEditor::find()
{
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, matchCase);
    QFETCH(int, expected);

    Editor e;
    e.loadText(text);
    QCOMPARE(e.findText(what, from, to, matchCase), expected);
    // Edits are seen by the next search.
    e.setSelStart(0);
    e.replaceSelection("Q");
    QCOMPARE(e.findText("Q", 0, 1, true), 0);
    QCOMPARE(e.findText(what, from + 1, to < 0 ? to : to + 1, matchCase), expected < 0 ? -1 : expected + 1);
}

// --- byte size -------------------------------------------------------------------------------------------------

void TestEditor::byteSizeFollowsEdits()
{
    Editor e;
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    QCOMPARE(e.byteSize(), 0);
    const QStringList pieces = {"a",  "xyz", "漢字", "ｱｲｳ", QString(QChar(0xF781)), "\r\n", "\n", "かな\r\nabc",
                                "\t", "Ａ",  " "};
    QRandomGenerator rng(20240611);
    auto randomText = [&] {
        QString s;
        const int n = rng.bounded(1, 6);
        for (int i = 0; i < n; ++i)
            s += pieces.at(rng.bounded(int(pieces.size())));
        return s;
    };
    e.loadText("先頭行\r\nsecond line ｶﾅ\r\n" + QString(QChar(0xF700)) + "\r\n");
    QCOMPARE(e.byteSize(), recount(e.text(), cp932Like));
    for (int step = 0; step < 400; ++step) {
        const int op = rng.bounded(10);
        const int len = e.textLength();
        if (op < 4) {
            e.setSelStart(rng.bounded(len + 1));
            e.setSelLength(rng.bounded(4));
            e.replaceSelection(randomText());
        } else if (op < 6) {
            e.setSelStart(rng.bounded(len + 1));
            e.setSelLength(rng.bounded(12));
            e.clearSelection();
        } else if (op < 8) {
            e.undoEdit();
        } else if (op == 8) {
            e.setSelStart(rng.bounded(len + 1));
            QTest::keyClick(&e, Qt::Key_Return);
            QTest::keyClicks(&e, "k");
            QTest::keyClick(&e, Qt::Key_Backspace);
            QTest::keyClick(&e, Qt::Key_Backspace);
        } else if (rng.bounded(8) == 0) {
            e.setText(randomText() + randomText());
        } else {
            e.selectAllText();
            QTest::keyClick(&e, Qt::Key_Delete);
        }
        QCOMPARE(e.byteSize(), recount(e.text(), cp932Like));
    }
    // Another byte-size function recounts everything.
    e.loadText("ab\r\nあ");
    e.setCharByteSize([](char16_t) { return 3; });
    QCOMPARE(e.byteSize(), 3 * 3 + 2);
    e.setCharByteSize(nullptr);
    QCOMPARE(e.byteSize(), 2 + 2 + 2);
}

// --- tab stops -------------------------------------------------------------------------------------------------

void TestEditor::tabStopsAlignText()
{
    Editor e;
    e.setEditorFont(monoFont());
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    QCOMPARE(e.setTabCount(150), 100);
    QCOMPARE(e.setTabCount(5), 5);
    QCOMPARE(e.tabCount(), 5);
    const QList<int> points = {0, 45, 90, 135, 180};
    e.beginUpdate();
    for (int i = 0; i < 5; ++i)
        e.setTabStop(i, points[i]);
    e.endUpdate();
    QCOMPARE(e.tabStop(3), 135);

    e.loadText("a\tX\nabcdefghijklmn\tY\n\t\tZ");
    const qreal dpi = e.logicalDpiX();
    auto xAfterTab = [&](int blockNumber, int pos) {
        QTextBlock b = e.document()->findBlockByNumber(blockNumber);
        e.document()->documentLayout()->blockBoundingRect(b);
        return b.layout()->lineAt(0).cursorToX(pos) - b.layout()->lineAt(0).x();
    };
    QCOMPARE(qRound(xAfterTab(0, 2)), qRound(45 * dpi / 72));
    const qreal longLine = xAfterTab(1, 14); // 14 characters wide: past the first stops
    const int expectStop = *std::find_if(points.begin(), points.end(), [&](int p) { return p * dpi / 72 > longLine; });
    QCOMPARE(qRound(xAfterTab(1, 15)), qRound(expectStop * dpi / 72));
    QCOMPARE(qRound(xAfterTab(2, 2)), qRound(90 * dpi / 72));
}

// --- selection bar ---------------------------------------------------------------------------------------------

void TestEditor::selectionBarSelectsLines()
{
    Editor e;
    e.setEditorFont(monoFont());
    e.resize(400, 300);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.setOptions(ECOOP_OR, ECO_SELECTIONBAR);
    e.loadText("line0\nline1\nline2\nline3\n" + QString(25, u'w') + "\nend");
    setCharsPerLine(e, 10);
    QWidget *bar = e.selectionBar();
    QVERIFY(bar->isVisible());
    auto yOfLine = [&](int line) {
        QTextCursor c = e.textCursor();
        c.setPosition(e.lineIndex(line));
        return e.cursorRect(c).center().y(); // viewport and bar share their vertical coordinates
    };
    auto press = [&](int y) { QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(3, y)); };
    auto drag = [&](int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(3, y), bar->mapToGlobal(QPointF(3, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &move);
    };

    press(yOfLine(2));
    QCOMPARE(e.selStart(), e.lineIndex(2));
    QCOMPARE(e.selText(), QString("line2\r\n"));
    drag(yOfLine(3));
    QCOMPARE(e.selText(), QString("line2\r\nline3\r\n"));
    drag(yOfLine(0)); // above the anchor line: the anchor line stays selected, up to line 0
    QCOMPARE(e.selStart(), 0);
    QCOMPARE(e.selText(), QString("line0\r\nline1\r\nline2\r\n"));
    QCOMPARE(e.textCursor().position(), 0);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(3, yOfLine(0)));

    // A wrapped paragraph: one display line at a time.
    press(yOfLine(5));
    QCOMPARE(e.selStart(), e.lineIndex(5));
    QCOMPARE(e.selText(), QString(10, u'w'));
    drag(yOfLine(6));
    QCOMPARE(e.selText(), QString(15, u'w') + "\r\n");
    drag(yOfLine(7));
    QCOMPARE(e.selText(), QString(15, u'w') + "\r\nend");
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(3, yOfLine(7)));

    e.setOptions(ECOOP_XOR, ECO_SELECTIONBAR);
    QVERIFY(!bar->isVisible());
}

// --- composition colours ---------------------------------------------------------------------------------------

void TestEditor::imeColors_data()
{
    QTest::addColumn<QList<QInputMethodEvent::Attribute>>("attrs");
    QTest::addColumn<QList<int>>("entries"); // colour entry of each of the five preedit characters

    QTextCharFormat underline;
    underline.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    QTextCharFormat highlight;
    highlight.setBackground(Qt::darkBlue);
    highlight.setForeground(Qt::white);
    QTextCharFormat changing = highlight; // a highlighted clause in bold; the underline style tells nothing
    changing.setFontWeight(QFont::Bold);
    changing.setUnderlineStyle(QTextCharFormat::WaveUnderline);

    QTest::newRow("typing, underlined") << QList{textFormat(0, 5, underline)} << QList{0, 0, 0, 0, 0};
    QTest::newRow("typing, no format") << QList<QInputMethodEvent::Attribute>{} << QList{0, 0, 0, 0, 0};
    QTest::newRow("converting") << QList{textFormat(0, 2, underline), textFormat(2, 2, highlight),
                                         textFormat(4, 1, underline)}
                                << QList{2, 2, 1, 1, 2};
    QTextCharFormat coloured;
    coloured.setForeground(Qt::darkGreen);
    QTest::newRow("coloured clause") << QList{textFormat(0, 2, coloured), textFormat(2, 3, underline)}
                                     << QList{2, 2, 0, 0, 0};
    QTest::newRow("boundary changing") << QList{textFormat(0, 3, changing), textFormat(3, 2, underline)}
                                       << QList{3, 3, 3, 2, 2};
}

void TestEditor::imeColors()
{
    QFETCH(QList<QInputMethodEvent::Attribute>, attrs);
    QFETCH(QList<int>, entries);

    Editor e;
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    const CompColorTable table = {CompColor{0x0000FF, 0xFFFFFF, 0x4}, CompColor{0x00FF00, 0x000000, 0},
                                  CompColor{0xFF0000, 0xEEEEEE, 0}, CompColor{0x00FFFF, 0x800080, 0}};
    e.setImeColors(table);
    QCOMPARE(e.imeColors(), table); // effects words come back as given
    e.loadText("ab");
    e.setSelStart(1);

    QInputMethodEvent ev(QString::fromUtf8("へんかんち"), attrs);
    QApplication::sendEvent(&e, &ev);
    const auto colors = preeditColors(e, 1, 5);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(colors[i].first, toQColor(table[entries[i]].text));
        QCOMPARE(colors[i].second, toQColor(table[entries[i]].background));
    }
    QCOMPARE(e.text(), QString("ab")); // composition is not text yet

    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("変換値"));
    QApplication::sendEvent(&e, &commit);
    QCOMPARE(e.text(), QString::fromUtf8("a変換値b"));
    QVERIFY(e.textCursor().block().layout()->formats().isEmpty());
}

// --- shortcuts -------------------------------------------------------------------------------------------------

void TestEditor::reservedShortcutsGoToWindow()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *e = new Editor(&window);
    layout->addWidget(e);
    auto *undoAction = new QAction(&window);
    undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    window.addAction(undoAction);
    QSignalSpy triggered(undoAction, &QAction::triggered);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    e->setFocus();
    QTest::keyClicks(e, "abc");

    // Not reserved: the editor claims Ctrl+Z for its own undo.
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 0);
    QCOMPARE(e->text(), QString());

    QTest::keyClicks(e, "abc");
    e->setReservedShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_C)});
    QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(e->text(), QString("abc"));

    e->selectAllText();
    QKeyEvent copy(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    QApplication::sendEvent(e, &copy);
    QVERIFY(!copy.isAccepted());
    QKeyEvent home(QEvent::ShortcutOverride, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(e, &home);
    QVERIFY(home.isAccepted()); // keys not reserved stay the editor's
}

// --- drops -----------------------------------------------------------------------------------------------------

void TestEditor::droppedFile()
{
    Editor e;
    e.resize(300, 200);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.loadText("keep");
    QStringList dropped;
    e.onFileDropped = [&](const QString &name) { dropped << name; };

    auto dropOn = [&](QMimeData *data) {
        const QPoint at(10, 10);
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(e.viewport(), &drop);
        return enter.isAccepted() && drop.isAccepted();
    };

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/メモ.txt"), QUrl::fromLocalFile("/tmp/second.txt")});
    files.setText("file:///tmp/%E3%83%A1%E3%83%A2.txt");
    QVERIFY(dropOn(&files));
    QCOMPARE(dropped, QStringList{"/tmp/メモ.txt"});
    QCOMPARE(e.text(), QString("keep"));

    QMimeData text;
    text.setText("dropped ");
    dropOn(&text);
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(e.text().size(), 12);
    QCOMPARE(QString(e.text()).remove("dropped "), QString("keep"));
}

// --- key hook --------------------------------------------------------------------------------------------------

void TestEditor::keyHook_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("swallow");
    QTest::addColumn<QString>("result");

    QTest::newRow("letter") << int(Qt::Key_A) << "a" << int('a') << false << "xa";
    QTest::newRow("letter swallowed") << int(Qt::Key_A) << "a" << int('a') << true << "x";
    QTest::newRow("enter") << int(Qt::Key_Return) << "\r" << 13 << false << "x\r\n";
    QTest::newRow("enter swallowed") << int(Qt::Key_Return) << "\r" << 13 << true << "x";
    QTest::newRow("tab") << int(Qt::Key_Tab) << "\t" << 9 << false << "x\t";
    QTest::newRow("tab swallowed") << int(Qt::Key_Tab) << "\t" << 9 << true << "x";
    QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << 27 << false << "x";
    QTest::newRow("kana") << int(Qt::Key_unknown) << "あ" << 0x3042 << false << "xあ";
    QTest::newRow("arrow: no character") << int(Qt::Key_Left) << "" << 0 << false << "x";
}

void TestEditor::keyHook()
{
    QFETCH(int, key);
    QFETCH(QString, keyText);
    QFETCH(int, code);
    QFETCH(bool, swallow);
    QFETCH(QString, result);

    Editor e;
    e.loadText("x");
    e.setSelStart(1);
    QList<int> seen;
    e.onKeyPress = [&](int &k) {
        seen << k;
        if (swallow)
            k = 0;
    };
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, keyText);
    QApplication::sendEvent(&e, &press);
    QCOMPARE(seen, code ? QList<int>{code} : QList<int>{});
    QCOMPARE(e.text(), result);
}

// --- text limit ------------------------------------------------------------------------------------------------

void TestEditor::textLimit()
{
    Editor e;
    QString big = QString(99, u'x') + u'\n';
    big = big.repeated(Editor::kTextLimit / 100 + 1); // more than the limit
    e.loadText(big);
    QCOMPARE(e.textLength(), int(big.size()));
    QCOMPARE(e.plainText(), big);
    e.setText(big + "tail");
    QCOMPARE(e.plainText(), big + "tail");

    // Typing and pasting stop at the limit.
    QString full = (QString(99, u'y') + u'\n').repeated(Editor::kTextLimit / 100);
    full += QString(Editor::kTextLimit - 2 - full.size(), u'y');
    e.loadText(full);
    e.setSelStart(e.textLength());
    QTest::keyClicks(&e, "abc");
    QCOMPARE(e.textLength(), Editor::kTextLimit);
    QVERIFY(e.text().endsWith("yab"));
    e.setSelStart(0);
    e.replaceSelection("zz");
    QCOMPARE(e.textLength(), Editor::kTextLimit);
    e.setSelStart(0);
    e.setSelLength(3);
    e.replaceSelection("\r\n12345"); // three positions free: the break goes in, the line after it would be cut
    QCOMPARE(e.textLength(), Editor::kTextLimit - 2);
    QVERIFY(e.text().startsWith("\r\nyy"));
    // The lines that fit go in whole, and nothing of the line that would be cut.
    e.setSelStart(0);
    e.setSelLength(0);
    e.replaceSelection(QStringLiteral("a\r\n\U0001F600\nzz")); // two free: "a" and its break
    QVERIFY(e.text().startsWith("a\r\n\r\nyy"));
    QCOMPARE(e.textLength(), Editor::kTextLimit);
}

// --- font ------------------------------------------------------------------------------------------------------

void TestEditor::fontFallbackKeepsName()
{
    Editor e;
    FontSpec wanted;
    wanted.name = "FixedSys";
    wanted.pointSize = 14;
    wanted.color = 0x0000FF; // red
    wanted.bold = true;
    e.setEditorFont(wanted);
    QCOMPARE(e.editorFont(), wanted);
    QCOMPARE(e.font().family(), japaneseMonospaceFamily()); // the default face stands for the Japanese monospace one
    QCOMPARE(e.font().pointSize(), 14);
    QVERIFY(e.font().bold());
    QCOMPARE(e.palette().color(QPalette::Text), QColor(Qt::red));
    e.setBackgroundColor(0xFFFF00); // cyan
    QCOMPARE(e.palette().color(QPalette::Base), QColor(Qt::cyan));
    QCOMPARE(e.document()->defaultFont().family(), e.font().family());

    e.setInputMethodOpen(false);
    QVERIFY(e.inputMethodHints() & Qt::ImhLatinOnly);
    e.setInputMethodOpen(true);
    QVERIFY(!(e.inputMethodHints() & (Qt::ImhLatinOnly | Qt::ImhPreferLatin)));
}

// --- raw bytes -------------------------------------------------------------------------------------------------

void TestEditor::rawBytesDrawnAsBoxes()
{
    Editor e;
    FontSpec f = monoFont(20);
    f.color = 0x0000FF; // red text, white background
    e.setEditorFont(f);
    e.resize(300, 100);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.loadText(QString("A") + QChar(0xF7AB) + "B");
    QTextCursor c = e.textCursor();
    c.setPosition(1);
    const int x1 = e.cursorRect(c).left();
    c.setPosition(2);
    const int x2 = e.cursorRect(c).left();
    QVERIFY(x2 - x1 >= 4);
    const QRect cell(x1, e.cursorRect(c).top(), x2 - x1, e.cursorRect(c).height());
    const QImage img = e.viewport()->grab().toImage();
    // The frame: a vertical run of text colour along the cell's left edge.
    int run = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        bool red = false;
        for (int x = cell.left(); x <= cell.left() + 2; ++x)
            red = red || (img.pixelColor(x, y).red() > 180 && img.pixelColor(x, y).green() < 100);
        run = red ? run + 1 : run;
    }
    QVERIFY2(run >= cell.height() / 2, qPrintable(QString("frame run %1 of %2").arg(run).arg(cell.height())));
}

// --- printing --------------------------------------------------------------------------------------------------

void TestEditor::print()
{
    QTemporaryDir dir;
    Editor e;
    e.setEditorFont(monoFont(12));
    auto pages = [&](const QString &name) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(name));
        e.print(printer, "無題 - Zuvelo PGP");
        if (printer.docName() != QString("無題 - Zuvelo PGP"))
            return -2;
        return pdfPages(dir.filePath(name));
    };
    QCOMPARE(pages("empty.pdf"), 1);
    e.loadText("one line");
    QCOMPARE(pages("one.pdf"), 1);
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QString("line %1").arg(i);
    e.loadText(many.join('\n'));
    const int twelve = pages("many12.pdf");
    QVERIFY(twelve >= 3);
    e.setEditorFont(monoFont(24));
    QVERIFY(pages("many24.pdf") > twelve); // laid out in the editor's font
}

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
