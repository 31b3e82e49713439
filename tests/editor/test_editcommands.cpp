// The Edit menu's commands, the typing aids on Enter, Tab and Esc, and the date-and-time insertion.

#include "editor/datetimeformat.h"
#include "testenv.h"
#include "trigger.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QTest>

using namespace zv;
using namespace Qt::StringLiterals;

namespace {
void select(Editor *memo, int start, int length)
{
    memo->setSelStart(start);
    memo->setSelLength(length);
}
} // namespace

class TestEditCommands : public QObject {
    Q_OBJECT
private slots:
    void enterRepeatsTheIndentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<bool>("autoIndent");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("caret");

        QTest::newRow("two spaces and a tab") << "  \tabc" << 6 << 0 << true << "  \tabc\n  \t" << 10;
        QTest::newRow("caret after the first of four spaces") << "    abc" << 1 << 0 << true << " \n    abc" << 3;
        QTest::newRow("caret before the indentation") << "  abc" << 0 << 0 << true << "\n  abc" << 1;
        QTest::newRow("full-width space ends the run") << u"\u3000abc"_s << 4 << 0 << true << u"\u3000abc\n"_s << 5;
        QTest::newRow("blanks after a full-width space") << u" \u3000 x"_s << 4 << 0 << true << u" \u3000 x\n "_s << 6;
        QTest::newRow("selection replaced") << "  abc def" << 4 << 3 << true << "  ab\n  ef" << 7;
        QTest::newRow("selection over a line break takes the first line's indentation")
            << "  ab\n\tyz" << 3 << 4 << true << "  a\n  z" << 6;
        QTest::newRow("second line") << "top\n\t\tnext" << 10 << 0 << true << "top\n\t\tnext\n\t\t" << 13;
        QTest::newRow("auto indent off") << "  \tabc" << 6 << 0 << false << "  \tabc\n" << 7;
    }
    void enterRepeatsTheIndentation()
    {
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(bool, autoIndent);
        QFETCH(QString, expected);
        QFETCH(int, caret);

        TestEnv env;
        auto w = env.makeWindow();
        w->FAutoIndent = autoIndent;
        w->Memo->setText(text);
        select(w->Memo, selStart, selLength);
        QTest::keyClick(w->Memo, Qt::Key_Return);
        QCOMPARE(w->Memo->plainText(), expected);
        QCOMPARE(w->Memo->selStart(), caret);
        QCOMPARE(w->Memo->selLength(), 0);
        QVERIFY(w->Memo->modified());

        // One undo takes the line break back together with its indentation.
        QVERIFY(trigger(w.get(), "EditUndo"));
        QCOMPARE(w->Memo->plainText(), text);
    }

    void enterInAWrappedParagraphUsesTheDisplayLine()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"WordWrap\"=\"1\"\n"));
        auto w = env.makeWindow();
        QVERIFY(w->Memo->wordWrap());
        w->resize(220, 300);
        QCoreApplication::processEvents();
        const QString paragraph = QStringLiteral("  alpha beta gamma delta epsilon zeta eta theta iota kappa");
        w->Memo->setText(paragraph);

        // The caret on the first display line: that line's indentation.
        select(w->Memo, 7, 0);
        QTest::keyClick(w->Memo, Qt::Key_Return);
        QCOMPARE(w->Memo->plainText(), QStringLiteral("  alpha\n   beta gamma delta epsilon zeta eta theta iota kappa"));

        // The caret at the end, on a continuation line that starts with a letter: no indentation.
        w->Memo->setText(paragraph);
        const int end = int(paragraph.size());
        QVERIFY2(w->Memo->lineFromChar(end) > 0, "the paragraph must wrap in this narrow window");
        QVERIFY(!w->Memo->lineText(w->Memo->lineFromChar(end)).startsWith(u' '));
        select(w->Memo, end, 0);
        QTest::keyClick(w->Memo, Qt::Key_Return);
        QCOMPARE(w->Memo->plainText(), paragraph + u'\n');
    }

    void tabInsertsSpaces_data()
    {
        QTest::addColumn<bool>("tabToSpace");
        QTest::addColumn<int>("tabWidth");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("expected");

        QTest::newRow("four spaces mid-word") << true << 4 << 2 << 0 << "ab    cdef";
        QTest::newRow("not aligned to tab stops") << true << 4 << 1 << 0 << "a    bcdef";
        QTest::newRow("replaces a selection") << true << 4 << 1 << 3 << "a    ef";
        QTest::newRow("width one") << true << 1 << 0 << 0 << " abcdef";
        QTest::newRow("off: a tab character") << false << 4 << 2 << 0 << "ab\tcdef";
    }
    void tabInsertsSpaces()
    {
        QFETCH(bool, tabToSpace);
        QFETCH(int, tabWidth);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, expected);

        TestEnv env;
        auto w = env.makeWindow();
        w->FTabToSpace = tabToSpace;
        w->FTabWidth = tabWidth;
        w->Memo->setText(QStringLiteral("abcdef"));
        select(w->Memo, selStart, selLength);
        QTest::keyClick(w->Memo, Qt::Key_Tab);
        QCOMPARE(w->Memo->plainText(), expected);
        QCOMPARE(w->Memo->selStart(), int(expected.size()) - (6 - selStart - selLength));
    }

    void escapeClosesTheWindow_data()
    {
        QTest::addColumn<bool>("escExit");
        QTest::addColumn<bool>("modified");
        QTest::addColumn<int>("answer"); // 0: no prompt expected
        QTest::addColumn<bool>("closed");

        QTest::newRow("no changes") << true << false << 0 << true;
        QTest::newRow("changes, Cancel") << true << true << int(IDCANCEL) << false;
        QTest::newRow("changes, No") << true << true << int(IDNO) << true;
        QTest::newRow("option off") << false << true << 0 << false;
    }
    void escapeClosesTheWindow()
    {
        QFETCH(bool, escExit);
        QFETCH(bool, modified);
        QFETCH(int, answer);
        QFETCH(bool, closed);

        TestEnv env;
        auto w = env.makeWindow();
        w->FEscExit = escExit;
        w->Memo->setText(QStringLiteral("本文"));
        w->Memo->setModified(modified);
        if (answer)
            env.dialogs.expectMessage(answer);
        QTest::keyClick(w->Memo, Qt::Key_Escape);
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), answer ? 1 : 0);
        if (answer)
            QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("ファイルの内容が変更されています。保存しますか?"));
        QCOMPARE(w->isVisible(), !closed);
        QCOMPARE(w->Memo->plainText(), QStringLiteral("本文")); // Esc is no character
    }

    void cutCopyAndPasteGoThroughTheClipboard()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QClipboard *clipboard = QApplication::clipboard();
        w->Memo->setText(QStringLiteral("一行目\r\n二行目"));

        select(w->Memo, 1, 4);
        QVERIFY(trigger(w.get(), "EditCopy"));
        QCOMPARE(clipboard->text(), QStringLiteral("行目\n二"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("一行目\n二行目"));

        QVERIFY(trigger(w.get(), "EditCut"));
        QCOMPARE(clipboard->text(), QStringLiteral("行目\n二"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("一行目"));
        QCOMPARE(w->Memo->selStart(), 1);

        // Pasting puts the text back where the caret stands, line break included; the caret follows it.
        QVERIFY(trigger(w.get(), "EditPaste"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("一行目\n二行目"));
        QCOMPARE(w->Memo->selStart(), 5);

        // Text from other programs may carry CR LF: it still makes one line break.
        clipboard->setText(QStringLiteral("x\r\ny"));
        select(w->Memo, 0, 1);
        QVERIFY(trigger(w.get(), "EditPaste"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("x\ny行目\n二行目"));
        QCOMPARE(w->Memo->lineCount(), 3);
    }

    void pasteWithAnEmptyClipboardDeletesTheSelection()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QApplication::clipboard()->clear();
        w->Memo->setText(QStringLiteral("abcdef"));
        select(w->Memo, 1, 3);
        QVERIFY(trigger(w.get(), "EditPaste"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("aef"));
    }

    void deleteAndSelectAll()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("abc\ndef"));
        QVERIFY(trigger(w.get(), "EditSelectAll"));
        QCOMPARE(w->Memo->selStart(), 0);
        QCOMPARE(w->Memo->selLength(), 7);
        select(w->Memo, 2, 3);
        QVERIFY(trigger(w.get(), "EditDelete"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("abef"));
        QVERIFY(trigger(w.get(), "EditUndo"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("abc\ndef"));
    }

    void dateAndTimeReplaceTheSelection_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("stored default") << QStringLiteral("yy/mm/dd hh:nn:ss");
        QTest::newRow("Japanese") << QStringLiteral("yyyy'年'm'月'd'日'");
        QTest::newRow("empty format") << QString();
    }
    void dateAndTimeReplaceTheSelection()
    {
        QFETCH(QString, format);
        TestEnv env;
        auto w = env.makeWindow();
        w->FDateTimeFormat = format;
        w->Memo->setText(QStringLiteral("日付:XXX。"));
        select(w->Memo, 3, 3);
        const QString before = formatDateTime(format, QDateTime::currentDateTime());
        QVERIFY(trigger(w.get(), "EditTimeDate"));
        const QString after = formatDateTime(format, QDateTime::currentDateTime());
        const QString text = w->Memo->plainText();
        QVERIFY2(text == u"日付:"_s + before + u"。"_s || text == u"日付:"_s + after + u"。"_s, qPrintable(text));
        QVERIFY(!before.isEmpty());
        QCOMPARE(w->Memo->selStart(), int(text.size()) - 1); // the caret stands after the inserted text
        QCOMPARE(w->Memo->selLength(), 0);
    }
};

QTEST_MAIN(TestEditCommands)
#include "test_editcommands.moc"
