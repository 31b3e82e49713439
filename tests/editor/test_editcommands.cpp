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

    // Every key that breaks a line inserts a normal line break, with or without auto indent: never the
    // line separator U+2028, which no file can hold.
    void everyEnterKeyBreaksTheLine_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("autoIndent");
        const struct {
            const char *name;
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        } keys[] = {
            {"Enter", Qt::Key_Return, Qt::NoModifier},
            {"Shift+Enter", Qt::Key_Return, Qt::ShiftModifier},
            {"Ctrl+Enter", Qt::Key_Return, Qt::ControlModifier},
            {"Ctrl+Shift+Enter", Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier},
            {"keypad Enter", Qt::Key_Enter, Qt::KeypadModifier},
            {"Shift+keypad Enter", Qt::Key_Enter, Qt::KeypadModifier | Qt::ShiftModifier},
            {"Ctrl+keypad Enter", Qt::Key_Enter, Qt::KeypadModifier | Qt::ControlModifier},
        };
        for (const auto &k : keys)
            for (bool indent : {false, true})
                QTest::newRow(qPrintable(QStringLiteral("%1, auto indent %2").arg(QLatin1String(k.name), indent ? u"on" : u"off")))
                    << int(k.key) << int(k.modifiers) << indent;
    }
    void everyEnterKeyBreaksTheLine()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, autoIndent);
        TestEnv env;
        auto w = env.makeWindow();
        w->FAutoIndent = autoIndent;
        w->Memo->setText(QStringLiteral("  ab"));
        select(w->Memo, 3, 0);
        QTest::keyClick(w->Memo, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w->Memo->plainText(), autoIndent ? QStringLiteral("  a\n  b") : QStringLiteral("  a\nb"));
        QCOMPARE(w->Memo->text(), autoIndent ? QStringLiteral("  a\r\n  b") : QStringLiteral("  a\r\nb"));
        QCOMPARE(w->Memo->lineCount(), 2);
    }

    // Alt with a letter that is no menu's access key types nothing; the letter alone still types.
    void altLetterTypesNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Alt+Q") << int(Qt::Key_Q) << int(Qt::AltModifier);
        QTest::newRow("Alt+Shift+Q") << int(Qt::Key_Q) << int(Qt::AltModifier | Qt::ShiftModifier);
        QTest::newRow("Alt+Z") << int(Qt::Key_Z) << int(Qt::AltModifier);
        QTest::newRow("Alt+1") << int(Qt::Key_1) << int(Qt::AltModifier);
        QTest::newRow("Alt+space") << int(Qt::Key_Space) << int(Qt::AltModifier);
        QTest::newRow("Alt+Meta+Q") << int(Qt::Key_Q) << int(Qt::AltModifier | Qt::MetaModifier);
    }
    void altLetterTypesNothing()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        TestEnv env;
        auto w = env.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->Memo->setFocus();
        w->Memo->setText(QStringLiteral("ab"));
        w->Memo->setModified(false);
        select(w->Memo, 1, 0);
        QTest::keyClick(w->Memo, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("ab"));
        QVERIFY(!w->Memo->modified());
        QTest::keyClick(w->Memo, Qt::Key_Q);
        QCOMPARE(w->Memo->plainText(), QStringLiteral("aqb"));
    }

    // A tab stop always lands on a space column: after n tabs the text stands where n x tab width
    // spaces put it, in any size of the default face and in a chosen one.
    void tabStopsLandOnSpaceColumns_data()
    {
        QTest::addColumn<QString>("face");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("tabWidth");
        QTest::newRow("default 14, 6") << "FixedSys" << 14 << 6;
        QTest::newRow("default 10, 4") << "FixedSys" << 10 << 4;
        QTest::newRow("default 13, 8") << "FixedSys" << 13 << 8;
        QTest::newRow("default 20, 3") << "FixedSys" << 20 << 3;
        QTest::newRow("chosen Latin face 11, 6") << "DejaVu Sans Mono" << 11 << 6;
    }
    void tabStopsLandOnSpaceColumns()
    {
        QFETCH(QString, face);
        QFETCH(int, size);
        QFETCH(int, tabWidth);
        TestEnv env;
        auto w = env.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        FontSpec font;
        font.name = face;
        font.pointSize = size;
        w->Memo->setEditorFont(font);
        w->ApplyTabStops(tabWidth);
        QStringList lines;
        for (int n = 1; n <= 8; ++n)
            lines << QString(n, u'\t') + u'X' << QString(n * tabWidth, u' ') + u'X';
        w->Memo->setText(lines.join(u'\n'));
        for (int n = 1; n <= 8; ++n) {
            const int tabbed = w->Memo->lineIndex(2 * (n - 1)) + n;
            const int spaced = w->Memo->lineIndex(2 * (n - 1) + 1) + n * tabWidth;
            QCOMPARE(w->Memo->plainText().at(tabbed), u'X');
            QCOMPARE(w->Memo->plainText().at(spaced), u'X');
            const qreal a = w->Memo->charRect(tabbed).left();
            const qreal b = w->Memo->charRect(spaced).left();
            QVERIFY2(std::abs(a - b) < 0.05, qPrintable(QStringLiteral("%1 tabs at %2, %3 spaces at %4").arg(n).arg(a).arg(n * tabWidth).arg(b)));
        }
    }

    // In the default face a kanji or kana is exactly two ASCII letters wide on screen, so Japanese and
    // ASCII columns line up.
    void defaultFaceLinesUpJapaneseAndAscii()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->Memo->editorFont().name, QStringLiteral("FixedSys"));
        const QString japanese = QStringLiteral("漢字かなカナ全角ＡＢ、。");
        const QString ascii = QString(2 * japanese.size(), u'a');
        w->Memo->setText(japanese + u'\n' + ascii + QStringLiteral("\nab漢cdかefｶﾅ"));
        const int second = w->Memo->lineIndex(1);
        for (int i = 0; i <= japanese.size(); ++i)
            QCOMPARE(w->Memo->charRect(i).left(), w->Memo->charRect(second + 2 * i).left());
        // A mixed line: each full-width character takes two columns, a half-width katakana one.
        const int third = w->Memo->lineIndex(2);
        const int columns[] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 11};
        for (int i = 0; i < 10; ++i)
            QCOMPARE(w->Memo->charRect(third + i).left(), w->Memo->charRect(second + columns[i]).left());
    }

    // Over the text limit typing and pasting tell the user, the first time, what the limit is; a paste
    // that does not fit goes in up to its last whole line that fits, never cut inside a line.
    void textLimitIsTold()
    {
        TestEnv env;
        auto w = env.makeWindow();
        const QString line = QString(99, u'y') + u'\n';
        QString text = line.repeated(Editor::kTextLimit / 100 - 1);
        text += QString(Editor::kTextLimit - 30 - text.size(), u'y'); // 30 positions free
        w->Memo->loadText(text);
        w->Memo->setSelStart(w->Memo->textLength());

        // A paste of three lines of twelve: two fit whole, the third would be cut.
        QApplication::clipboard()->setText(QStringLiteral("first line\nsecond one\nthird line"));
        env.dialogs.expectMessage(IDOK);
        w->EditPasteClick();
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QVERIFY2(env.dialogs.messages[0].text.contains(QStringLiteral("4,194,303")), qPrintable(env.dialogs.messages[0].text));
        QVERIFY2(w->Memo->plainText().endsWith(QStringLiteral("yfirst line\nsecond one\n")), qPrintable(w->Memo->plainText().right(40)));
        const int free = Editor::kTextLimit - w->Memo->textLength();
        QCOMPARE(free, 8);

        // Later refusals are not told again: a paste with no whole line that fits puts nothing in,
        // typing stops at the limit.
        QApplication::clipboard()->setText(QStringLiteral("a line of more than eight"));
        w->EditPasteClick();
        QCOMPARE(Editor::kTextLimit - w->Memo->textLength(), 8);
        QTest::keyClicks(w->Memo, QStringLiteral("12345678901"));
        QCOMPARE(w->Memo->textLength(), Editor::kTextLimit);
        QVERIFY(w->Memo->plainText().endsWith(QStringLiteral("second one\n12345678")));
        QCOMPARE(env.dialogs.messages.size(), 1);
    }

    // A full editor tells it when typing does nothing.
    void typingAtTheLimitIsTold()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->loadText(QString(Editor::kTextLimit, u'x'));
        w->Memo->setSelStart(5);
        env.dialogs.expectMessage(IDOK);
        QTest::keyClick(w->Memo, Qt::Key_A);
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(env.dialogs.messages.value(0).text.contains(QStringLiteral("4,194,303")));
        QCOMPARE(w->Memo->textLength(), Editor::kTextLimit);
        QVERIFY(!w->Memo->plainText().contains(u'a'));
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
