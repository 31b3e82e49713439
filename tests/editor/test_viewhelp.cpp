// The View menu's check marks and toggles, the external-program item, and the help window.

#include "platform/helpviewer.h"
#include "testenv.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

using namespace zv;

class TestViewHelp : public QObject {
    Q_OBJECT
private slots:
    void checkMarksFollowTheBarsOnOpening()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->ViewClick();
        QVERIFY(w->ViewToolBar->isChecked() && w->ViewStatusBar->isChecked());

        w->ViewToolBarClick();
        QVERIFY(w->ToolBar->isHidden());
        QVERIFY(w->ViewToolBar->isChecked()); // the toggle leaves the mark to the menu's opening
        w->ViewClick();
        QVERIFY(!w->ViewToolBar->isChecked());
        QVERIFY(w->ViewStatusBar->isChecked());

        w->ViewStatusBar->trigger();
        QVERIFY(w->StatusBar->isHidden());
        w->ViewToolBar->trigger();
        QVERIFY(!w->ToolBar->isHidden());
        w->ViewClick();
        QVERIFY(w->ViewToolBar->isChecked());
        QVERIFY(!w->ViewStatusBar->isChecked());
    }

    void barsStayAsLeftAfterARestart_data()
    {
        QTest::addColumn<bool>("toolBar");
        QTest::addColumn<bool>("statusBar");
        QTest::newRow("tool bar hidden") << false << true;
        QTest::newRow("status bar hidden") << true << false;
        QTest::newRow("both hidden") << false << false;
    }
    void barsStayAsLeftAfterARestart()
    {
        QFETCH(bool, toolBar);
        QFETCH(bool, statusBar);
        TestEnv env;
        {
            auto w = env.makeWindow();
            if (!toolBar)
                w->ViewToolBarClick();
            if (!statusBar)
                w->ViewStatusBarClick();
            QVERIFY(w->close());
        }
        auto w = env.makeWindow();
        QCOMPARE(!w->ToolBar->isHidden(), toolBar);
        QCOMPARE(!w->StatusBar->isHidden(), statusBar);
        w->ViewClick();
        QCOMPARE(w->ViewToolBar->isChecked(), toolBar);
        QCOMPARE(w->ViewStatusBar->isChecked(), statusBar);
    }

    void externalProgramItemShowsOnlyWithAProgram()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QVERIFY(w->FShellProg.isEmpty());
        w->ViewClick();
        QVERIFY(!w->ViewShellProg->isVisible() && !w->mnuViewSep1->isVisible());
        w->FShellProg = QStringLiteral("/usr/bin/editor");
        w->ViewClick();
        QVERIFY(w->ViewShellProg->isVisible() && w->mnuViewSep1->isVisible());
        w->FShellProg.clear();
        w->ViewClick();
        QVERIFY(!w->ViewShellProg->isVisible() && !w->mnuViewSep1->isVisible());
        // The opening of the menu itself runs the handler.
        w->FShellProg = QStringLiteral("/usr/bin/editor");
        emit w->View->aboutToShow();
        QVERIFY(w->ViewShellProg->isVisible());
    }

    void helpOpensOnItsContents()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->HelpContents->trigger();
        QVERIFY(env.dialogs.messages.isEmpty());
        QVERIFY(w->FHelpViewer);
        QVERIFY(w->FHelpViewer->isVisible());
        QVERIFY(QFile::exists(w->FHelpViewer->manualPath()));
        QVERIFY(!w->FHelpViewer->sections().isEmpty());
        auto *tabs = w->FHelpViewer->findChild<QTabWidget *>();
        QVERIFY(tabs);
        QCOMPARE(tabs->currentIndex(), 0);

        // One window: a second call brings the same one back, on its contents again.
        HelpViewer *first = w->FHelpViewer;
        tabs->setCurrentIndex(1);
        first->hide();
        w->HelpContentsClick();
        QCOMPARE(w->FHelpViewer.data(), first);
        QVERIFY(first->isVisible());
        QCOMPARE(tabs->currentIndex(), 0);
    }

    void helpFileOfTheApplicationIsUsed()
    {
        TestEnv env;
        // An HTML edition beside an absolute help file name is the manual shown.
        const QString manual = env.dir() + QStringLiteral("/Quorvel.html");
        QFile f(manual);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><body><h1 id=\"a\">テスト用</h1><p>本文</p></body></html>");
        f.close();
        env.app.setHelpFile(env.dir() + QStringLiteral("/Quorvel.hlp"));
        auto w = env.makeWindow();
        w->HelpContentsClick();
        QVERIFY(w->FHelpViewer);
        QCOMPARE(w->FHelpViewer->manualPath(), manual);
        QCOMPARE(w->FHelpViewer->sections().size(), 1);
    }

    void missingManualIsToldClearly()
    {
        TestEnv env;
        env.app.setHelpFile(env.dir() + QStringLiteral("/nowhere/Quorvel.hlp"));
        auto w = env.makeWindow();
        env.dialogs.expectMessage(IDOK);
        w->HelpContentsClick();
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("ヘルプファイルが見つかりませんでした。"));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, 0x30u);
        QVERIFY(!w->FHelpViewer);
    }
};

QTEST_MAIN(TestViewHelp)
#include "test_viewhelp.moc"
