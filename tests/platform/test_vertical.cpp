// Vertical writing in the document editor: where each character stands (columns right to left, wrapping at
// the bottom edge, the line-breaking rules), how it is drawn (upright, turned, punctuation in its corner),
// hit-testing, the navigation keys, display lines as columns, the composition at the caret, the selection
// bar along the top, switching back, and that a large text is only laid out where it is looked at.

#include "platform/colors.h"
#include "platform/editor.h"
#include "platform/verticallayout.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <cmath>

using namespace zv;

namespace {

FontSpec font(int size)
{
    FontSpec f;
    f.name = QStringLiteral("DejaVu Sans Mono"); // Latin from it, Japanese from the system's fallback
    f.pointSize = size;
    return f;
}

qreal margin(const Editor &e) { return e.document()->documentMargin(); }

// Sizes the view so that exactly `cells` full-width characters fit in a column and `columns` columns are
// fully shown.
void fit(Editor &e, int cells, int columns)
{
    const VerticalLayout &l = e.verticalLayout();
    for (int i = 0; i < 4; ++i) {
        e.lineCount(); // brings the layout in step with the view
        const int h = int(std::ceil(2 * margin(e) + (cells + 0.5) * l.cell()));
        const int w = int(std::ceil(2 * margin(e) + (columns + 0.5) * l.pitch()));
        if (e.viewport()->height() == h && e.viewport()->width() == w)
            break;
        e.resize(e.width() + w - e.viewport()->width(), e.height() + h - e.viewport()->height());
        QCoreApplication::processEvents();
    }
    e.lineCount();
}

struct View {
    Editor e;
    View(int cells, int columns, int size = 12, unsigned options = ECO_VERTICAL)
    {
        e.setEditorFont(font(size));
        e.setOptions(ECOOP_SET, options);
        e.resize(400, 300);
        e.show();
        e.activateWindow();
        e.setFocus();
        if (!QTest::qWaitForWindowExposed(&e))
            qWarning("window not exposed");
        fit(e, cells, columns);
    }
    qreal cell() const { return e.verticalLayout().cell(); }
    qreal pitch() const { return e.verticalLayout().pitch(); }
    qreal right(int column) const { return e.viewport()->width() - margin(e) - column * pitch(); }
    // The middle of a character's cell, or a point at a fraction of its height.
    QPoint at(int pos, qreal fraction = 0.5) const
    {
        const QRectF r = e.charRect(pos);
        return QPointF(r.center().x(), r.top() + fraction * r.height()).toPoint();
    }
    int columnOfX(qreal x) const { return int(std::floor((right(0) - x) / pitch())); }
};

// Dark pixels of a rectangle of an image: their bounding box.
QRect inkBox(const QImage &img, const QRect &area)
{
    QRect box;
    const QRect r = area.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 128)
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

} // namespace

class TestVertical : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void tabsAndLatinAdvance();
    void drawnForms_data();
    void drawnForms();
    void rawByteUpright();
    void hitTesting();
    void keys_data();
    void keys();
    void displayLinesAreColumns();
    void editingKeys();
    void mouseAndSelectionBar();
    void composition();
    void switchingBack();
    void largeTextLaidOutLazily();
};

// --- where the characters stand ----------------------------------------------------------------------------------

void TestVertical::layout_data()
{
    QTest::addColumn<int>("cells");
    QTest::addColumn<QString>("pattern"); // '|' where a column must break; a line break starts a column too

    QTest::newRow("kana wrap at the bottom") << 4 << "あいうえ|おかきく|けこさ";
    QTest::newRow("paragraphs start columns") << 4 << "あい\nうえおか|き\n\nく";
    QTest::newRow("no full stop at the top") << 4 << "あいう|え。お";
    QTest::newRow("no comma and bracket at the top") << 4 << "あい|う、」え";
    QTest::newRow("no opening bracket at the bottom") << 4 << "あいう|「え」お";
    QTest::newRow("Latin word kept whole") << 4 << "あいう |abcd";
    QTest::newRow("full-width letters upright") << 3 << "ＡＢＣ|１２";
}

// Each character's cell: columns follow each other from the right edge leftwards, characters go down a column
// one after the other, each taking its advance (a full cell upright, its width when lying on its side).
void TestVertical::layout()
{
    QFETCH(int, cells);
    QFETCH(QString, pattern);

    View v(cells, 6);
    QString text;
    QList<int> column;
    int c = 0;
    for (QChar ch : pattern) {
        if (ch == u'|') {
            ++c;
            continue;
        }
        text += ch;
        column << c;
        if (ch == u'\n')
            ++c;
    }
    v.e.loadText(text);
    QCoreApplication::processEvents();

    qreal y = 0;
    int previous = 0;
    for (int pos = 0; pos < text.size(); ++pos) {
        if (column[pos] != previous)
            y = 0;
        previous = column[pos];
        if (text[pos] == u'\n')
            continue;
        const VForm form = verticalForm(text[pos].unicode());
        const qreal advance = form == VForm::Sideways
                                  ? QFontMetricsF(v.e.font(), v.e.viewport()).horizontalAdvance(text[pos])
                                  : v.cell();
        const QRectF r = v.e.charRect(pos);
        const QString where = QString("%1 at %2").arg(text[pos]).arg(pos);
        QVERIFY2(qAbs(r.right() - v.right(column[pos])) < 0.01, qPrintable(where + " column"));
        QVERIFY2(qAbs(r.top() - (margin(v.e) + y)) < 0.01, qPrintable(where + " offset"));
        QVERIFY2(qAbs(r.height() - advance) < 0.01, qPrintable(where + " advance"));
        y += advance;
    }
    QCOMPARE(v.e.lineCount(), column.last() + 1);
}

void TestVertical::tabsAndLatinAdvance()
{
    View v(12, 4);
    v.e.setTabCount(3);
    v.e.setTabStop(0, 0);
    v.e.setTabStop(1, 45);
    v.e.setTabStop(2, 90);
    v.e.loadText("\tあ\nab\tc");
    const qreal stop = 45 * v.e.logicalDpiX() / 72.0;
    QCOMPARE(qRound(v.e.charRect(1).top() - margin(v.e)), qRound(stop));
    // "ab" lie on their side with their own widths, then the tab goes on to the next stop.
    const QFontMetricsF fm(v.e.font(), v.e.viewport());
    QCOMPARE(qRound(v.e.charRect(4).top() - margin(v.e)), qRound(fm.horizontalAdvance('a')));
    QCOMPARE(qRound(v.e.charRect(6).top() - margin(v.e)), qRound(stop));
}

// --- how they are drawn --------------------------------------------------------------------------------------------

void TestVertical::drawnForms_data()
{
    QTest::addColumn<QString>("ch");
    QTest::addColumn<QString>("where");

    QTest::newRow("kanji upright, centred") << "漢" << "centre";
    QTest::newRow("ideographic comma") << "、" << "upper right";
    QTest::newRow("ideographic full stop") << "。" << "upper right";
    QTest::newRow("full-width comma") << "，" << "upper right";
    QTest::newRow("small tsu") << "っ" << "upper right";
    QTest::newRow("small ya") << "ゃ" << "upper right";
    QTest::newRow("long vowel mark stands") << "ー" << "tall";
    QTest::newRow("wave dash stands") << "〜" << "tall";
    QTest::newRow("leader dots stand") << "…" << "tall";
    QTest::newRow("full-width equals turned") << "＝" << "tall";
    QTest::newRow("opening bracket hangs down") << "「" << "lower";
    QTest::newRow("closing bracket hangs up") << "」" << "upper";
    QTest::newRow("parenthesis opens downwards") << "（" << "lower";
    QTest::newRow("Latin on its side, top to the right") << "T" << "bar right";
    QTest::newRow("Latin L, foot to the left") << "L" << "bar left";
}

// The ink of each character, relative to its cell, in a large font.
void TestVertical::drawnForms()
{
    QFETCH(QString, ch);
    QFETCH(QString, where);

    View v(5, 3, 36);
    v.e.loadText("あ" + ch + "あ");
    v.e.clearFocus(); // no caret in the picture
    QCoreApplication::processEvents();
    const QImage img = v.e.viewport()->grab().toImage();
    const QRectF cell = v.e.charRect(1);
    const QRect ink = inkBox(img, cell.toAlignedRect());
    QVERIFY2(!ink.isEmpty(), "nothing drawn");
    const QPointF c = cell.center();
    const QPointF i = QRectF(ink).center();
    const qreal a = v.cell();
    const QString got = QString("cell %1,%2 %3x%4 ink %5,%6 %7x%8")
                            .arg(cell.x()).arg(cell.y()).arg(cell.width()).arg(cell.height())
                            .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height());
    if (where == "centre") {
        QVERIFY2(qAbs(i.x() - c.x()) < 0.12 * a && qAbs(i.y() - c.y()) < 0.12 * a, qPrintable(got));
    } else if (where == "upper right") {
        QVERIFY2(i.x() > c.x() + 0.05 * a && i.y() < c.y() - 0.05 * a, qPrintable(got));
    } else if (where == "tall") {
        QVERIFY2(ink.height() > 1.5 * ink.width(), qPrintable(got));
    } else if (where == "lower") {
        QVERIFY2(i.y() > c.y() + 0.1 * a, qPrintable(got));
    } else if (where == "upper") {
        QVERIFY2(i.y() < c.y() - 0.1 * a, qPrintable(got));
    } else { // "bar right" / "bar left": the long stroke of the letter is a vertical run at that side
        auto run = [&](int x) {
            int n = 0;
            for (int y = ink.top(); y <= ink.bottom(); ++y)
                n += qGray(img.pixel(x, y)) < 128;
            return n;
        };
        const int rightRun = std::max(run(ink.right()), run(ink.right() - 1));
        const int leftRun = std::max(run(ink.left()), run(ink.left() + 1));
        QVERIFY2(ink.width() > ink.height(), qPrintable(got)); // lying on its side
        if (where == "bar right")
            QVERIFY2(rightRun > 2 * leftRun, qPrintable(got + QString(" runs %1 %2").arg(leftRun).arg(rightRun)));
        else
            QVERIFY2(leftRun > 2 * rightRun, qPrintable(got + QString(" runs %1 %2").arg(leftRun).arg(rightRun)));
    }
}

// An undecodable byte is a framed box with its two hex digits upright, side by side.
void TestVertical::rawByteUpright()
{
    View v(5, 3, 36);
    v.e.loadText(QString("あ") + QChar(0xF7AB) + "あ");
    v.e.clearFocus();
    QCoreApplication::processEvents();
    const QImage img = v.e.viewport()->grab().toImage();
    const QRect cell = v.e.charRect(1).toAlignedRect();
    const QRect frame = inkBox(img, cell);
    QVERIFY(frame.width() > 0.8 * v.cell() && frame.height() > 0.8 * v.cell());
    const QRect digits = inkBox(img, frame.adjusted(3, 3, -3, -3));
    QVERIFY2(digits.width() > 1.3 * digits.height(), qPrintable(QString("%1x%2").arg(digits.width()).arg(digits.height())));
}

// --- the mouse ----------------------------------------------------------------------------------------------------

// Each drawn character maps back to itself (upper half of its cell) or to the position after it (lower half);
// a point below the end of a wrapped column is the end of that column.
void TestVertical::hitTesting()
{
    View v(6, 5, 12);
    const QString text = "「漢字かな」とLatin、です。\nx";
    v.e.loadText(text);
    for (int pos = 0; pos < text.size(); ++pos) {
        if (text[pos] == u'\n')
            continue;
        QCOMPARE(v.e.positionAt(v.at(pos, 0.3)), pos);
        QCOMPARE(v.e.positionAt(v.at(pos, 0.7)), pos + 1);
    }
    // The first column holds 「漢字かな」 (six cells); below it lies its end, shown at its foot.
    QCOMPARE(v.e.lineIndex(1), 6);
    const QPoint below(v.at(0).x(), v.e.viewport()->height() - 1);
    QCOMPARE(v.e.positionAt(below), 6);
    QTest::mouseClick(v.e.viewport(), Qt::LeftButton, {}, below);
    QCOMPARE(v.e.selStart(), 6);
    QCOMPARE(v.columnOfX(v.e.caretRect().center().x()), 0);
    QVERIFY(v.e.caretRect().top() > v.e.charRect(5).bottom() - 2);
    // In the margin right of the first column: the first column.
    QCOMPARE(v.e.positionAt(QPoint(v.e.viewport()->width() - 1, v.at(2, 0.3).y())), 2);
}

// --- the keys -----------------------------------------------------------------------------------------------------

void TestVertical::keys_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("keys"); // key codes, Shift and Control or-ed in
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("caretColumn"); // the column the caret is drawn in

    // Four cells a column, two columns shown: column 0 あいうえ (0-3), 1 おかきく (4-7), 2 けこ (8, 9; the
    // paragraph ends at 10), 3 さしす (11-13; the text ends at 14).
    const int S = int(Qt::ShiftModifier), C = int(Qt::ControlModifier);
    QTest::newRow("down: next character") << 0 << QList{int(Qt::Key_Down)} << 1 << 1 << 0;
    QTest::newRow("down into the next column") << 3 << QList{int(Qt::Key_Down)} << 4 << 4 << 1;
    QTest::newRow("up: previous character") << 5 << QList{int(Qt::Key_Up)} << 4 << 4 << 1;
    QTest::newRow("left: next column, same height") << 1 << QList{int(Qt::Key_Left)} << 5 << 5 << 1;
    QTest::newRow("right: previous column") << 5 << QList{int(Qt::Key_Right)} << 1 << 1 << 0;
    QTest::newRow("left keeps its height over a short column")
        << 3 << QList{int(Qt::Key_Left), int(Qt::Key_Left), int(Qt::Key_Left)} << 14 << 14 << 3;
    QTest::newRow("left into the next paragraph") << 9 << QList{int(Qt::Key_Left)} << 12 << 12 << 3;
    QTest::newRow("left in the last column stays") << 12 << QList{int(Qt::Key_Left)} << 12 << 12 << 3;
    QTest::newRow("right in the first column stays") << 2 << QList{int(Qt::Key_Right)} << 2 << 2 << 0;
    QTest::newRow("home: top of the column") << 6 << QList{int(Qt::Key_Home)} << 4 << 4 << 1;
    QTest::newRow("end: foot of a wrapped column") << 5 << QList{int(Qt::Key_End)} << 8 << 8 << 1;
    QTest::newRow("end then left") << 5 << QList{int(Qt::Key_End), int(Qt::Key_Left)} << 10 << 10 << 2;
    QTest::newRow("end of the paragraph") << 8 << QList{int(Qt::Key_End)} << 10 << 10 << 2;
    QTest::newRow("ctrl+end") << 5 << QList{C | Qt::Key_End} << 14 << 14 << 3;
    QTest::newRow("ctrl+home") << 12 << QList{C | Qt::Key_Home} << 0 << 0 << 0;
    QTest::newRow("page down: a screen of columns") << 1 << QList{int(Qt::Key_PageDown)} << 9 << 9 << 2;
    QTest::newRow("page down and back up") << 1 << QList{int(Qt::Key_PageDown), int(Qt::Key_PageUp)} << 1 << 1 << 0;
    QTest::newRow("page down at the end") << 12 << QList{int(Qt::Key_PageDown)} << 14 << 14 << 3;
    QTest::newRow("shift+down extends") << 0 << QList{S | Qt::Key_Down, S | Qt::Key_Down} << 0 << 2 << 0;
    QTest::newRow("shift+left extends by a column") << 1 << QList{S | Qt::Key_Left} << 1 << 5 << 1;
    QTest::newRow("shift+end, shift+right") << 1 << QList{S | Qt::Key_End, S | Qt::Key_Left, S | Qt::Key_Right} << 1 << 4 << 0;
    QTest::newRow("shift+page down") << 2 << QList{S | Qt::Key_PageDown} << 2 << 10 << 2;
    QTest::newRow("shift+ctrl+end") << 2 << QList{S | C | Qt::Key_End} << 2 << 14 << 3;
    QTest::newRow("a plain key ends the selection") << 2 << QList{S | Qt::Key_Down, S | Qt::Key_Down, int(Qt::Key_Down)} << 4 << 4 << 1;
}

void TestVertical::keys()
{
    QFETCH(int, start);
    QFETCH(QList<int>, keys);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, caretColumn);

    View v(4, 2);
    v.e.loadText("あいうえおかきくけこ\nさしす");
    v.e.setSelStart(start);
    for (int k : keys)
        QTest::keyClick(&v.e, Qt::Key(k & ~int(Qt::KeyboardModifierMask)), Qt::KeyboardModifiers(k & int(Qt::KeyboardModifierMask)));
    QCOMPARE(v.e.textCursor().anchor(), anchor);
    QCOMPARE(v.e.textCursor().position(), position);
    // The caret's column is scrolled into view and the caret is drawn in it.
    const int first = v.e.columnScrollBar()->value();
    QVERIFY(caretColumn >= first && caretColumn < first + 2);
    QCOMPARE(v.columnOfX(v.e.caretRect().center().x()) + first, caretColumn);
    QCOMPARE(v.e.text(), QString("あいうえおかきくけこ\r\nさしす")); // navigation never edits
}

// --- display lines ------------------------------------------------------------------------------------------------

void TestVertical::displayLinesAreColumns()
{
    View v(4, 4);
    v.e.loadText("あいうえおかきくけこ\nさしす\n");
    QCOMPARE(v.e.lineCount(), 4); // the empty last paragraph does not count
    const QList<QPair<int, int>> lineOfPos = {{0, 0}, {3, 0}, {4, 1}, {8, 2}, {10, 2}, {11, 3}, {14, 3}, {15, 4}, {99, 4}};
    for (auto [pos, line] : lineOfPos)
        QCOMPARE(v.e.lineFromChar(pos), line);
    const QList<QPair<int, int>> indexOfLine = {{0, 0}, {1, 4}, {2, 8}, {3, 11}, {4, 15}, {5, -1}, {-1, -1}};
    for (auto [line, index] : indexOfLine)
        QCOMPARE(v.e.lineIndex(line), index);
    const QStringList texts = {"あいうえ", "おかきく", "けこ", "さしす", ""};
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(v.e.lineText(i), texts[i]);

    // Spaces at the foot of a full column hang there; the next column starts with what follows them.
    v.e.loadText("　あいう  えお");
    QCOMPARE(v.e.lineText(0), QString("　あいう  "));
    QCOMPARE(v.e.lineText(1), QString("えお"));

    // Typing keeps the numbering current: a Latin word that no longer fits moves on to a column of its own.
    v.e.loadText("あいう\nか");
    v.e.setSelStart(3);
    QTest::keyClicks(&v.e, "xyz");
    QCOMPARE(v.e.text(), QString("あいうxyz\r\nか"));
    QCOMPARE(v.e.lineCount(), 3);
    QCOMPARE(v.e.lineIndex(1), 3);
    QCOMPARE(v.e.lineText(1), QString("xyz"));
    QCOMPARE(v.e.lineFromChar(7), 2);
}

// Typing, Backspace, Delete, Enter and the key hook go on as in horizontal writing, through the same undo and
// modified flag.
void TestVertical::editingKeys()
{
    View v(6, 4);
    v.e.loadText("あいう");
    QList<int> seen;
    v.e.onKeyPress = [&](int &key) {
        seen << key;
        if (key == 9)
            key = 0; // the hook swallows Tab
    };
    v.e.setSelStart(1);
    QTest::keyClick(&v.e, Qt::Key_Down);
    QTest::keyClicks(&v.e, "ab");
    QTest::keyClick(&v.e, Qt::Key_Backspace);
    QTest::keyClick(&v.e, Qt::Key_Tab);
    QTest::keyClick(&v.e, Qt::Key_Return);
    QTest::keyClick(&v.e, Qt::Key_Delete);
    QCOMPARE(v.e.text(), QString("あいa\r\n"));
    QCOMPARE(seen, (QList<int>{'a', 'b', 9, 13}));
    QVERIFY(v.e.modified());
    QCOMPARE(v.e.lineCount(), 1);
    QCOMPARE(v.e.lineFromChar(4), 1); // the caret on the new paragraph's column
    QCOMPARE(v.columnOfX(v.e.caretRect().center().x()), 1);
    while (v.e.canUndoEdit())
        v.e.undoEdit();
    QCOMPARE(v.e.text(), QString("あいう"));
}

// --- mouse selection and the selection bar --------------------------------------------------------------------------

void TestVertical::mouseAndSelectionBar()
{
    View v(4, 4, 12, ECO_VERTICAL | ECO_SELECTIONBAR);
    v.e.loadText("あいうえおかきくけこ\nさしす");
    QWidget *bar = v.e.selectionBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->height(), v.e.selectionBarWidth());
    QCOMPARE(v.e.viewport()->geometry().top() - v.e.contentsRect().top(), v.e.selectionBarWidth());

    // Dragging from the second character to the middle of the second column.
    QTest::mousePress(v.e.viewport(), Qt::LeftButton, {}, v.at(1, 0.3));
    QMouseEvent move(QEvent::MouseMove, v.at(6, 0.3), v.e.viewport()->mapToGlobal(QPointF(v.at(6, 0.3))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v.e.viewport(), &move);
    QTest::mouseRelease(v.e.viewport(), Qt::LeftButton, {}, v.at(6, 0.3));
    QCOMPARE(v.e.selStart(), 1);
    QCOMPARE(v.e.selText(), QString("いうえおか"));

    // The strip along the top: a click takes a whole column, a drag goes on by columns.
    auto xOf = [&](int column) { return int(v.right(column) - v.pitch() / 2); };
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(xOf(1), 3));
    QCOMPARE(v.e.selStart(), 4);
    QCOMPARE(v.e.selText(), QString("おかきく"));
    QMouseEvent drag(QEvent::MouseMove, QPointF(xOf(2), 3), bar->mapToGlobal(QPointF(xOf(2), 3)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &drag);
    QCOMPARE(v.e.selText(), QString("おかきくけこ\r\n"));
    QMouseEvent back(QEvent::MouseMove, QPointF(xOf(0), 3), bar->mapToGlobal(QPointF(xOf(0), 3)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &back);
    QCOMPARE(v.e.selText(), QString("あいうえおかきく"));
    QCOMPARE(v.e.textCursor().position(), 0);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(xOf(0), 3));
}

// --- the composition ------------------------------------------------------------------------------------------------

void TestVertical::composition()
{
    View v(8, 3, 14);
    const CompColorTable colors = {CompColor{0x0000FF, 0xFFFFFF, 0}, CompColor{0x000000, 0x00FF00, 0},
                                   CompColor{0xFF0000, 0xFFFFFF, 0}, CompColor{0x000000, 0x00FFFF, 0}};
    v.e.setImeColors(colors);
    v.e.loadText("あいうえお");
    v.e.setSelStart(2);
    const QRectF before = v.e.charRect(2);

    // "かき" being converted, the caret after its first character.
    QTextCharFormat highlight;
    highlight.setBackground(Qt::darkBlue);
    highlight.setForeground(Qt::white);
    QInputMethodEvent ev("かき", {QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat, 0, 2, highlight),
                                  QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, 1, 1)});
    QApplication::sendEvent(&v.e, &ev);
    QCOMPARE(v.e.text(), QString("あいうえお"));
    // The composition stands in the column at the caret and pushes the text after it down.
    QCOMPARE(v.e.charRect(2).top(), before.top() + 2 * v.cell());
    QInputMethodQueryEvent query(Qt::ImCursorRectangle); // what the input method asks for its candidate window
    QApplication::sendEvent(&v.e, &query);
    // The input method puts its candidate window below that rectangle, from its left edge: the rectangle
    // stands just right of the column, level with the caret, so that the window comes beside the column
    // and not across it.
    const QRect im = query.value(Qt::ImCursorRectangle).toRect().translated(-v.e.viewport()->pos());
    QVERIFY2(im.isValid() && im.left() > before.right() && im.left() <= before.right() + 3,
             qPrintable(QString("rectangle from x %1, column right edge %2").arg(im.left()).arg(before.right())));
    QVERIFY2(qAbs(im.top() - v.e.caretRect().center().y()) <= 1,
             qPrintable(QString("rectangle at y %1, caret at %2").arg(im.top()).arg(v.e.caretRect().center().y())));
    QCOMPARE(v.columnOfX(v.e.caretRect().center().x()), 0);
    QVERIFY2(qAbs(v.e.caretRect().center().y() - (before.top() + v.cell())) <= 1,
             qPrintable(QString("caret at %1, expected %2").arg(v.e.caretRect().center().y()).arg(before.top() + v.cell())));
    // Drawn in the colours of the clause being converted (entry 1): green behind the text.
    v.e.clearFocus();
    QCoreApplication::processEvents();
    const QImage img = v.e.viewport()->grab().toImage();
    const QRectF comp(before.left(), before.top(), before.width(), 2 * v.cell());
    int green = 0, total = 0;
    for (int y = int(comp.top()) + 1; y < int(comp.bottom()) - 1; ++y)
        for (int x = int(comp.left()) + 1; x < int(comp.right()) - 1; ++x, ++total)
            green += img.pixelColor(x, y) == toQColor(colors[1].background);
    QVERIFY2(green > total / 2, qPrintable(QString("%1 of %2").arg(green).arg(total)));

    QInputMethodEvent commit;
    commit.setCommitString("花");
    QApplication::sendEvent(&v.e, &commit);
    QCOMPARE(v.e.text(), QString("あい花うえお"));
    QCOMPARE(v.e.charRect(3).top(), before.top() + v.cell());
    QCOMPARE(v.e.selStart(), 3);
}

// --- switching back -------------------------------------------------------------------------------------------------

void TestVertical::switchingBack()
{
    Editor e;
    e.setEditorFont(font(12));
    e.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e.resize(300, 200);
    e.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e));
    e.loadText("縦書きと横書き\nabc");
    e.setSelStart(3);
    QTest::keyClicks(&e, "x");
    e.setSelStart(2);
    e.setSelLength(4);
    for (const bool modified : {true, false}) {
        e.setModified(modified);
        e.setOptions(ECOOP_OR, ECO_VERTICAL);
        QVERIFY(e.columnScrollBar()->isVisible());
        QVERIFY(!e.verticalScrollBar()->isVisible());
        QCOMPARE(e.selStart(), 2);
        QCOMPARE(e.selLength(), 4);
        QCOMPARE(e.modified(), modified);
        e.setOptions(ECOOP_XOR, ECO_VERTICAL);
        QCOMPARE(e.text(), QString("縦書きxと横書き\r\nabc"));
        QCOMPARE(e.selStart(), 2);
        QCOMPARE(e.selLength(), 4);
        QCOMPARE(e.modified(), modified);
        QVERIFY(!e.columnScrollBar()->isVisible());
        QCOMPARE(e.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(e.lineFromChar(9), 1); // paragraphs again
        QCOMPARE(e.positionAt(e.cursorRect().center()), e.textCursor().position());
    }
}

// --- lazy layout ----------------------------------------------------------------------------------------------------

// A large text is counted column by column without placing its characters, and only the paragraphs on the
// screen are placed; an edit recounts only the paragraph it touches.
void TestVertical::largeTextLaidOutLazily()
{
    View v(20, 10);
    const QString para = QString("あいうえおかきくけこさしすせそたちつてと").repeated(3); // three columns
    QStringList paras;
    for (int i = 0; i < 30000; ++i)
        paras << para;
    const VerticalLayout &layout = v.e.verticalLayout();
    v.e.loadText(paras.join(u'\n'));
    v.e.viewport()->repaint();
    const qint64 placedAtOpen = layout.paragraphsPlaced();
    QVERIFY2(placedAtOpen <= 10, qPrintable(QString::number(placedAtOpen)));
    QCOMPARE(v.e.lineCount(), 90000);
    QCOMPARE(v.e.columnScrollBar()->maximum(), 90000 - 10);

    v.e.columnScrollBar()->setValue(45000);
    v.e.viewport()->repaint();
    QVERIFY2(layout.paragraphsPlaced() - placedAtOpen <= 10, qPrintable(QString::number(layout.paragraphsPlaced())));
    const int middle = v.e.positionAt(QPoint(int(v.right(0) - v.pitch() / 2), int(margin(v.e)) + 1));
    QCOMPARE(middle, 15000 * 61); // the first column shown starts paragraph 15000
    QCOMPARE(v.e.lineFromChar(middle), 45000);
    QCOMPARE(v.e.lineFromChar(v.e.textLength()), 89999);
    QCOMPARE(v.e.lineIndex(89999), v.e.textLength() - 20);

    const qint64 counted = layout.paragraphsCounted();
    v.e.setSelStart(middle);
    QTest::keyClicks(&v.e, "x");
    QCOMPARE(v.e.lineCount(), 90001); // the paragraph grew a column
    QVERIFY2(layout.paragraphsCounted() - counted <= 3, qPrintable(QString::number(layout.paragraphsCounted() - counted)));
    QCOMPARE(v.e.columnScrollBar()->value() <= 45000 && v.e.columnScrollBar()->value() + 10 > 45000, true);
}

QTEST_MAIN(TestVertical)
#include "test_vertical.moc"
