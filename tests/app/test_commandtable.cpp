// The main window's command table: every menu, pop-up item and tool button in its place, with its caption,
// shortcut and hints.

#include "testenv.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QTest>

namespace {
QStringList names(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << a->objectName();
    return out;
}
} // namespace

class TestCommandTable : public QObject {
    Q_OBJECT
private slots:
    void menusHoldTheirItemsInOrder()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QCOMPARE(names(w->menuBar()->actions()).size(), 5);
        const QList<QMenu *> menus{w->FileMenu, w->Edit1, w->mnuPgp, w->View, w->Help1};
        const QStringList captions{"ファイル(&F)", "編集(&E)", "PGP(&P)", "表示(&V)", "ヘルプ(&H)"};
        for (int i = 0; i < menus.size(); ++i)
            QCOMPARE(menus[i]->title(), captions[i]);
        QCOMPARE(names(w->FileMenu->actions()),
                 (QStringList{"FileNew", "FileOpen", "FileSave", "FileSaveAs", "mnuFileSep1", "PrintSetup1", "Print1",
                              "mnuFileSep2", "FileExit", "mnuFileSep3", "mnuFileRe1", "mnuFileRe2", "mnuFileRe3",
                              "mnuFileRe4"}));
        QCOMPARE(names(w->Edit1->actions()),
                 (QStringList{"EditUndo", "mnuEditSep1", "EditCut", "EditCopy", "EditPaste", "EditDelete",
                              "mnuEditSep2", "EditSelectAll", "mnuEditSep3", "EditTimeDate", "mnuEditSep4",
                              "mnuEditFind", "N3", "mnuEditSep5", "EditWordWrap"}));
        QCOMPARE(names(w->mnuPgp->actions()),
                 (QStringList{"mnuPgpEncrypt", "mnuPgpSign", "mnuPgpEncryptSign", "mnuPgpReencrypt", "mnuPgpSep1", "mnuPgpDecrypt",
                              "mnuPgpSep2", "mnuPgpLaunchTools", "mnuPgpLaunchKeys", "mnuPgpPreferences"}));
        QCOMPARE(names(w->View->actions()),
                 (QStringList{"EditRunAd", "ViewShellProg", "mnuViewSep1", "ViewToolBar", "ViewStatusBar",
                              "mnuViewSep2", "ViewOption"}));
        QCOMPARE(names(w->Help1->actions()), (QStringList{"HelpContents", "mnuHelpSep1", "HelpAbout"}));
        QCOMPARE(names(w->MemoPopup->actions()),
                 (QStringList{"mnuPopRunAd", "mnuPopSep1", "PopupUndo", "mnuPopSep2", "PopupCut", "PopupCopy",
                              "PopupPaste", "PopupDelete", "mnuPopSep3", "PopupSelectAll", "mnuPopSep4",
                              "PopupDateTime"}));
        for (QMenu *m : menus)
            for (QAction *a : m->actions())
                if (a->isSeparator())
                    QVERIFY2(a->text().isEmpty(), qPrintable(a->objectName()));
    }

    void itemsCarryTheirCaptionsShortcutsAndHints_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<QString>("hint");
        auto row = [](const char *n, const char *c, const char *k, const char *h) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromUtf8(c) << QString::fromLatin1(k)
                             << QString::fromUtf8(h);
        };
        row("FileNew", "新規作成(&N)", "Ctrl+N", "ファイルを新規に作成します");
        row("FileOpen", "開く(&O)...", "Ctrl+O", "ファイルを開きます");
        row("FileSave", "上書き保存(&S)", "Ctrl+S", "ファイルを保存します");
        row("FileSaveAs", "名前を付けて保存(&A)...", "", "ファイルを別名で保存します");
        row("PrintSetup1", "プリンタの設定(&T)...", "", "プリンタの設定ダイアログを表示します");
        row("Print1", "印刷(&P)..", "Ctrl+P", "印刷します");
        row("FileExit", "終了(&X)", "", "終了させます");
        row("EditUndo", "元に戻す(&U)", "Ctrl+Z", "直前の操作を元に戻します");
        row("EditCut", "切り取り(&T)", "Ctrl+X", "選択文字列を切り取ります");
        row("EditCopy", "コピー(&C)", "Ctrl+C", "選択文字列をコピーします");
        row("EditPaste", "貼り付け(&P)", "Ctrl+V", "クリップボードの内容を挿入します");
        row("EditDelete", "削除(&L)", "", "選択文字列を削除します");
        row("EditSelectAll", "すべて選択(&A)", "Ctrl+A", "すべて選択します");
        row("EditTimeDate", "日付と時刻を挿入(&D)", "F5", "日付と時刻を挿入します");
        row("mnuEditFind", "検索(&F)...", "Ctrl+F", "文字列を検索します");
        row("N3", "次を検索(&S)", "F3", "前回検索した文字列を検索します");
        row("EditWordWrap", "右端で折り返す(&W)", "Ctrl+R", "文字列を右端で折り返すかを指定します");
        row("mnuPgpEncrypt", "暗号化(&E)...", "F9", "PGPで暗号化します");
        row("mnuPgpSign", "署名(&S)...", "F10", "PGPで署名します");
        row("mnuPgpEncryptSign", "暗号化と署名(&N)...", "F11", "PGPで暗号化と署名をします");
        row("mnuPgpReencrypt", "同じ宛先で暗号化(&A)", "Shift+F9", "復号した文書を、元の文書と同じ宛先にPGPで暗号化します");
        row("mnuPgpDecrypt", "復号化と検証(&D)...", "F12", "PGPで復号化と検証をします");
        row("mnuPgpLaunchTools", "PGPツールの起動(&O)...", "", "PGPツールを起動します");
        row("mnuPgpLaunchKeys", "PGP鍵の起動(&L)...", "", "PGP鍵を起動します");
        row("mnuPgpPreferences", "PGPの設定(&R)...", "", "PGPの設定ダイアログを表示します");
        row("EditRunAd", "この文字列を実行(&R)...", "F7", "");
        row("ViewShellProg", "外部プログラムで開く(&P)...", "F8", "外部プログラムで現在のファイルを開きます");
        row("ViewToolBar", "ツールバー(&T)", "", "ツールバーの表示、非表示を切り替えます");
        row("ViewStatusBar", "ステータスバー(&S)", "", "ステータスバーの表示、非表示を切り替えます");
        row("ViewOption", "オプション(&O)...", "", "オプションダイアログを表示します");
        row("HelpContents", "目次(&C)...", "F1", "ヘルプを表示します");
        row("HelpAbout", "バージョン情報(&A)...", "", "バージョン情報を表示します");
        row("mnuPopRunAd", "この文字列を実行(&R)...", "", "");
        row("PopupUndo", "元に戻す(&U)", "", "直前の操作を元に戻します");
        row("PopupCut", "切り取り(&T)", "", "選択文字列を切り取ります");
        row("PopupCopy", "コピー(&C)", "", "選択文字列をコピーします");
        row("PopupPaste", "貼り付け(&P)", "", "クリップボードの内容を挿入します");
        row("PopupDelete", "削除(&D)", "", "選択文字列を削除します");
        row("PopupSelectAll", "すべて選択(&A)", "", "すべて選択します");
        row("PopupDateTime", "日付と時刻を挿入(&D)", "", "日付と時刻を挿入します");
    }
    void itemsCarryTheirCaptionsShortcutsAndHints()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        QFETCH(QString, hint);
        TestEnv env;
        auto w = env.makeWindow();
        auto *a = w->findChild<QAction *>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), shortcut);
        QCOMPARE(a->statusTip(), hint);
        for (QAction *recent : w->mnuFileRe)
            QCOMPARE(recent->statusTip(), QStringLiteral("このファイルを開きます"));
    }

    void toolBarHoldsItsButtonsInOrder()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QCOMPARE(names(w->ToolBar->actions()),
                 (QStringList{"tbNew", "tbOpen", "tbSave", "tbSep1", "tbCut", "tbCopy", "tbPaste", "tbSep2",
                              "tbDateTime", "tbSep3", "tbFind", "tbSep4", "tbWordWrap", "tbSep5", "tbShell", "tbSep6",
                              "tbEncrypt", "tbSign", "tbEncryptSign", "tbSep7", "tbDecrypt"}));
        const QList<QPair<QAction *, QString>> hints{
            {w->tbNew, "新規作成|ファイルを新規に作成します"},
            {w->tbPaste, "貼り付け|現在のカーソル位置にクリップボードの内容を挿入します"},
            {w->tbDateTime, "日付と時刻|日付と時刻を現在のｶｰｿﾙ位置に挿入します"},
            {w->tbShell, "外部プログラムで開く|外部プログラムで現在のファイルを開きます"},
            {w->tbDecrypt, "復号化と検証|PGPで復号化と検証をします"},
        };
        for (const auto &[action, hint] : hints) {
            QCOMPARE(action->toolTip(), hint.section(QLatin1Char('|'), 0, 0));
            QCOMPARE(action->statusTip(), hint.section(QLatin1Char('|'), 1));
        }
        QVERIFY(w->tbWordWrap->isCheckable());
        // Fourteen images, all different, and each button named for screen readers by its short hint.
        QSet<qint64> images;
        for (QAction *a : w->ToolBar->actions()) {
            if (a->isSeparator())
                continue;
            QVERIFY(!a->icon().isNull());
            images.insert(a->icon().pixmap(16, 16).toImage().cacheKey() ^ qHash(a->icon().pixmap(16, 16).toImage().bits()[200]));
            auto *button = qobject_cast<QToolButton *>(w->ToolBar->widgetForAction(a));
            QVERIFY(button);
            QCOMPARE(button->accessibleName(), a->toolTip());
        }
        QCOMPARE(images.size(), 14);
    }
};

QTEST_MAIN(TestCommandTable)
#include "test_commandtable.moc"
