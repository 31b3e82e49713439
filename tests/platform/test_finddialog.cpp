// The find dialog: the 255-byte limit on the search text, find-next, cancel and the remembered position.
#include "platform/finddialog.h"
#include "platform/windowplace.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using zv::FindDialog;

namespace {
QString repeated(const QString &s, int count) { return s.repeated(count); }
const QString kKanji = QStringLiteral("漢");
const QString kPair = QString::fromUtf8("\xF0\xA0\x80\x8B"); // a character outside the BMP

// Japanese arrives from the input method as committed text.
void commitText(QWidget *widget, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}
} // namespace

class TestFindDialog : public QObject {
    Q_OBJECT
private slots:
    void byteCount_data();
    void byteCount();
    void truncate_data();
    void truncate();
    void setFindTextCuts_data();
    void setFindTextCuts();
    void typingStopsAtLimit();
    void pasteKeepsWhatFits();
    void charBytesFunction();
    void findNext();
    void cancelCloses();
    void positionRemembered();
    void offScreenPositionCentres();
    void frameArithmetic_data();
    void frameArithmetic();
};

void TestFindDialog::byteCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ascii") << "abc 123" << 7;
    QTest::newRow("kanji and kana") << "漢字かな" << 8;
    QTest::newRow("half-width katakana") << "ｱｲｳﾞ｡ﾟ" << 6;
    QTest::newRow("full-width latin") << "ＡＢ" << 4;
    QTest::newRow("mixed") << "aｱ漢" << 4;
    QTest::newRow("surrogate pair") << kPair << 4;
}

void TestFindDialog::byteCount()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(zv::byteCount(text), bytes);
}

void TestFindDialog::truncate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fits") << "abc漢" << 5 << "abc漢";
    QTest::newRow("kanji not split") << "abc漢" << 4 << "abc";
    QTest::newRow("128 kanji") << repeated(kKanji, 128) << 255 << repeated(kKanji, 127);
    QTest::newRow("ascii then kanji exactly") << (u'a' + repeated(kKanji, 127)) << 255
                                              << (u'a' + repeated(kKanji, 127));
    QTest::newRow("pair kept whole") << ("ab" + kPair) << 6 << ("ab" + kPair);
    QTest::newRow("pair dropped whole") << ("ab" + kPair + "c") << 5 << "ab";
    QTest::newRow("zero") << "abc" << 0 << "";
}

void TestFindDialog::truncate()
{
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, expected);
    QCOMPARE(zv::truncateToBytes(text, maxBytes), expected);
}

void TestFindDialog::setFindTextCuts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("128 kanji keep 127") << repeated(kKanji, 128) << repeated(kKanji, 127);
    QTest::newRow("300 ascii keep 255") << QString(300, u'x') << QString(255, u'x');
    QTest::newRow("255 half-width kana stay") << repeated(QStringLiteral("ｶ"), 255) << repeated(QStringLiteral("ｶ"), 255);
    QTest::newRow("253 ascii then kanji") << (QString(253, u'x') + kKanji + kKanji) << (QString(253, u'x') + kKanji);
}

void TestFindDialog::setFindTextCuts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    FindDialog dialog;
    dialog.setFindText(text);
    QCOMPARE(dialog.findText(), expected);
    QVERIFY(zv::byteCount(dialog.findText()) <= FindDialog::kMaxTextBytes);
}

void TestFindDialog::typingStopsAtLimit()
{
    FindDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    QVERIFY(edit);
    dialog.setFindText(repeated(kKanji, 127)); // 254 bytes
    edit->setFocus();
    edit->end(false);

    commitText(edit, QStringLiteral("字")); // would make 256
    QCOMPARE(dialog.findText(), repeated(kKanji, 127));
    QTest::keyClicks(edit, QStringLiteral("a")); // makes exactly 255
    QCOMPARE(dialog.findText(), repeated(kKanji, 127) + u'a');
    QTest::keyClicks(edit, QStringLiteral("b"));
    QCOMPARE(dialog.findText(), repeated(kKanji, 127) + u'a');

    // Room made by deleting is usable again.
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    commitText(edit, QStringLiteral("字"));
    QCOMPARE(dialog.findText(), repeated(kKanji, 126) + QStringLiteral("字"));
}

void TestFindDialog::pasteKeepsWhatFits()
{
    FindDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    QVERIFY(edit);
    const QString head(100, u'a');
    const QString tail(150, u'b');
    dialog.setFindText(head + tail); // 250 bytes
    edit->setFocus();
    edit->setCursorPosition(100);

    QGuiApplication::clipboard()->setText(QStringLiteral("ＡＢＣＤ")); // 8 bytes, 5 fit
    if (QGuiApplication::clipboard()->text() != QStringLiteral("ＡＢＣＤ"))
        QSKIP("no clipboard on this platform");
    edit->paste();
    QCOMPARE(dialog.findText(), head + QStringLiteral("ＡＢ") + tail);
    QCOMPARE(edit->cursorPosition(), 102);
    QCOMPARE(zv::byteCount(dialog.findText()), 254);
}

void TestFindDialog::charBytesFunction()
{
    FindDialog dialog;
    dialog.setCharBytesFunction([](char16_t) { return 1; });
    dialog.setFindText(repeated(kKanji, 255));
    QCOMPARE(dialog.findText().size(), 255);
    dialog.setCharBytesFunction({}); // back to the standard sizes: the text is cut again
    QCOMPARE(dialog.findText(), repeated(kKanji, 127));
}

void TestFindDialog::findNext()
{
    FindDialog dialog;
    QSignalSpy spy(&dialog, &FindDialog::findNext);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    auto *button = dialog.findChild<QPushButton *>(QStringLiteral("cmdFindNext"));
    QVERIFY(edit && button);

    // Nothing to search for: the button is off and Enter does nothing.
    QVERIFY(!button->isEnabled());
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(spy.count(), 0);

    QTest::keyClicks(edit, QStringLiteral("abc"));
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(spy.count(), 2);
    QVERIFY(dialog.isVisible()); // the dialog stays open for the next step

    auto *matchCase = dialog.findChild<QCheckBox *>();
    QVERIFY(matchCase);
    QVERIFY(!dialog.matchCase());
    QTest::mouseClick(matchCase, Qt::LeftButton);
    QVERIFY(dialog.matchCase());
    QCOMPARE(dialog.findText(), QStringLiteral("abc"));
}

void TestFindDialog::cancelCloses()
{
    FindDialog dialog;
    QSignalSpy spy(&dialog, &FindDialog::findNext);
    dialog.setFindText(QStringLiteral("abc"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.isModal());
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(dialog.findText(), QStringLiteral("abc")); // closing keeps the search text
}

void TestFindDialog::positionRemembered()
{
    FindDialog dialog;
    dialog.placeAt(QPoint(40, 50));
    QCOMPARE(dialog.storedPosition(), QPoint(40, 50));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.pos(), QPoint(40, 50));

    dialog.move(120, 90); // the user moves it
    QTRY_COMPARE(dialog.storedPosition(), QPoint(120, 90));
    dialog.close();
    QCOMPARE(dialog.storedPosition(), QPoint(120, 90));
    dialog.show();
    QTRY_COMPARE(dialog.pos(), QPoint(120, 90));

    dialog.placeAt(QPoint(60, 70)); // while open: it moves there
    QTRY_COMPARE(dialog.pos(), QPoint(60, 70));
    dialog.hide();
    dialog.placeAt(QPoint(30, 20)); // while closed: used on the next opening
    QCOMPARE(dialog.storedPosition(), QPoint(30, 20));
    dialog.show();
    QTRY_COMPARE(dialog.pos(), QPoint(30, 20));
}

void TestFindDialog::offScreenPositionCentres()
{
    FindDialog dialog;
    dialog.placeAt(QPoint(-30000, -30000));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(QGuiApplication::screenAt(dialog.pos()) != nullptr);
}

QTEST_MAIN(TestFindDialog)
#include "test_finddialog.moc"

// The stored position is the frame's; the window is placed by its client area, the frame's left and top
// widths further in.
void TestFindDialog::frameArithmetic_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("client");
    QTest::addColumn<QMargins>("margins");
    QTest::newRow("title bar and border") << QRect(498, 360, 302, 121) << QRect(499, 380, 300, 100) << QMargins(1, 20, 1, 1);
    QTest::newRow("no frame") << QRect(10, 10, 50, 50) << QRect(10, 10, 50, 50) << QMargins();
    QTest::newRow("thick, uneven") << QRect(-5, 0, 120, 140) << QRect(3, 30, 100, 100) << QMargins(8, 30, 12, 10);
}

void TestFindDialog::frameArithmetic()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, client);
    QFETCH(QMargins, margins);
    QCOMPARE(zv::frameMargins(frame, client), margins);
    QCOMPARE(zv::clientPositionForFrame(frame.topLeft(), margins), client.topLeft());
}
