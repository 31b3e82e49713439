// Find: forward steps through the whole text with a silent wrap-around, and F3 without the dialog.

#include "platform/finddialog.h"
#include "testenv.h"

#include <QAction>
#include <QTest>

using namespace zv;
using namespace Qt::StringLiterals;

namespace {
const QString kNotFound = QStringLiteral("検索文字列が見つかりませんでした。");
}

class TestFind : public QObject {
    Q_OBJECT
private slots:
    void stepsWalkThroughTheMatches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QList<int>>("steps"); // where each step's match starts; -1: not found, message

        QTest::newRow("caret alone is no start") << "abc abc" << "abc" << false << 5 << 0 << QList<int>{0, 4, 0};
        QTest::newRow("single occurrence already selected") << "xx abc yy" << "abc" << false << 3 << 3
                                                           << QList<int>{3, 3};
        QTest::newRow("match case off") << "xx abc" << "ABC" << false << 0 << 0 << QList<int>{3};
        QTest::newRow("match case on") << "xx abc" << "ABC" << true << 1 << 2 << QList<int>{-1};
        QTest::newRow("match case on, exact") << "ABC abc ABC" << "abc" << true << 0 << 0 << QList<int>{4, 4};
        QTest::newRow("full-width letters fold") << u"ｘＡＢＣ"_s << u"ａｂｃ"_s << false << 0 << 0
                                                  << QList<int>{1};
        QTest::newRow("absent") << "hello world" << "xyz" << false << 2 << 3 << QList<int>{-1, -1};
        QTest::newRow("across line breaks") << "x\nabc\r\nabc" << "abc" << false << 0 << 0 << QList<int>{2, 6, 2};
        QTest::newRow("Japanese") << u"日本語のテキストと日本"_s << u"日本"_s << false << 0 << 0
                                  << QList<int>{0, 9, 0};
        QTest::newRow("Japanese with half-width kana") << u"ｶﾀｶﾅとカタカナ、ｶﾀｶﾅ"_s << u"ｶﾀｶﾅ"_s << true << 2 << 0
                                                       << QList<int>{0, 10, 0};
    }
    void stepsWalkThroughTheMatches()
    {
        QFETCH(QString, text);
        QFETCH(QString, what);
        QFETCH(bool, matchCase);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QList<int>, steps);

        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(text);
        w->Memo->setSelStart(selStart);
        w->Memo->setSelLength(selLength);
        w->cdlFind->setFindText(what);
        w->cdlFind->setMatchCase(matchCase);

        int messages = 0;
        for (int at : steps) {
            const int startBefore = w->Memo->selStart(), lengthBefore = w->Memo->selLength();
            if (at < 0)
                env.dialogs.expectMessage(IDOK);
            w->cdlFindFind();
            QVERIFY(env.dialogs.allUsed());
            if (at < 0) {
                ++messages;
                QCOMPARE(env.dialogs.messages.size(), messages);
                QCOMPARE(env.dialogs.messages.last().text, kNotFound);
                QCOMPARE(env.dialogs.messages.last().caption, QStringLiteral("Zuvelo PGP"));
                QCOMPARE(env.dialogs.messages.last().flags, 0x30u);
                QCOMPARE(w->Memo->selStart(), startBefore);
                QCOMPARE(w->Memo->selLength(), lengthBefore);
            } else {
                QCOMPARE(env.dialogs.messages.size(), messages);
                QCOMPARE(w->Memo->selStart(), at);
                // Exactly the match's characters, however many bytes they take.
                QCOMPARE(w->Memo->selLength(), int(what.size()));
                QVERIFY(w->Memo->selText().compare(what, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0);
            }
        }
    }

    void f3UsesTheStoredSearchTextRightAfterStartUp()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"FindText\"=\"ABC\"\n"));
        auto w = env.makeWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QVERIFY(!w->cdlFind->isVisible());
        w->Memo->setText(QStringLiteral("xx abc yy"));
        QTest::keyClick(w->Memo, Qt::Key_F3);
        QCOMPARE(w->Memo->selStart(), 3);
        QCOMPARE(w->Memo->selLength(), 3);
        QVERIFY(env.dialogs.messages.isEmpty());
        QCOMPARE(w->Memo->plainText(), QStringLiteral("xx abc yy"));
    }

    void emptySearchTextDoesNothing()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("abc"));
        w->Memo->setSelStart(1);
        w->Memo->setSelLength(1);
        QCOMPARE(w->cdlFind->findText(), QString());
        w->cdlFindFind(); // no message may come: the scripted dialogs fail on any
        QVERIFY(env.dialogs.messages.isEmpty());
        QCOMPARE(w->Memo->selStart(), 1);
        QCOMPARE(w->Memo->selLength(), 1);
    }

    void theDialogShowsModelessAndSearches()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("one two one"));
        w->tbFind->trigger();
        QVERIFY(w->cdlFind->isVisible());
        QVERIFY(!w->cdlFind->isModal());
        w->cdlFind->setFindText(QStringLiteral("one"));
        emit w->cdlFind->findNext();
        QCOMPARE(w->Memo->selStart(), 0);
        emit w->cdlFind->findNext();
        QCOMPARE(w->Memo->selStart(), 8);
        // The editor is still there to type in while the dialog stands.
        w->Memo->replaceSelection(QStringLiteral("three"));
        QCOMPARE(w->Memo->plainText(), QStringLiteral("one two three"));
        QVERIFY(w->cdlFind->isVisible());
    }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
