// The main window's layout and command table: every menu item, pop-up item and tool button, with its
// caption, shortcut, hint and handler.

#include "frmMain.h"
#include "app/toolicons.h"
#include "platform/application.h"
#include "platform/finddialog.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

QPointer<TfrmMain> frmMain;

namespace {

using Handler = void (TfrmMain::*)();
using Field = QAction *TfrmMain::*;

// One row of a menu: "-" as caption is a separator.
struct MenuRow {
    Field field;
    const char *name;
    const char *caption;
    QKeySequence key;
    Handler handler;
    const char *hint;
};

struct ToolRow {
    Field field;
    const char *name;
    int image; // -1: separator
    Handler handler;
    const char *hint; // "short|long"
    bool checkable = false;
};

QString u(const char *s) { return QString::fromUtf8(s); }

} // namespace

TfrmMain::TfrmMain(const QStringList &args, QWidget *parent) : QMainWindow(parent), FArgs(args)
{
    frmMain = this;
    if (auto *app = zv::Application::instance())
        app->setMainWindow(this);
    buildLayout();
    buildCommands();
    zv::runGuarded([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() = default;

QPrinter &TfrmMain::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void TfrmMain::buildLayout()
{
    setObjectName(QStringLiteral("frmMain"));
    SetTitle(u("無題 - Zuvelo PGP"));
    setWindowIcon(zv::appIcon());
    resize(650, 412);
    move(318, 198);
    setAcceptDrops(true);

    Memo = new zv::Editor(this);
    Memo->setObjectName(QStringLiteral("Memo"));
    setCentralWidget(Memo);

    ToolBar = new QToolBar(u("ツールバー"), this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(16, 16));
    ToolBar->toggleViewAction()->setVisible(false);
    ToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    setStatusBar(StatusBar);
    const int widths[4] = {130, 100, 60, 50};
    const char *texts[4] = {"", "1行、1列", "", "レディ"};
    // A screen reader reads a panel's text as its name (a label without a name of its own announces its
    // text and each change of it); what the panel is stands in its description.
    const char *roles[4] = {"文書のサイズ", "カーソルの位置", "変更の有無", "ヒント"};
    for (int i = 0; i < 4; ++i) {
        auto *label = new QLabel(u(texts[i]), StatusBar);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setAccessibleDescription(u(roles[i]));
        label->setContentsMargins(4, 0, 4, 0);
        if (i < 3) {
            label->setFixedWidth(widths[i]);
            label->setFrameShape(QFrame::StyledPanel);
            label->setFrameShadow(QFrame::Sunken);
            StatusBar->addWidget(label);
        } else {
            // The hint panel has no bevel and takes what room is left, so that long hints are not cut off.
            label->setMinimumWidth(widths[i]);
            StatusBar->addWidget(label, 1);
        }
        Panels[size_t(i)] = label;
    }
    Panels[2]->setAlignment(Qt::AlignCenter);
    StatusBar->installEventFilter(this);

    MemoPopup = new QMenu(Memo);
    MemoPopup->setObjectName(QStringLiteral("MemoPopup"));
    Memo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { MemoPopup->popup(Memo->viewport()->mapToGlobal(pos)); });

    cdlFind = new zv::FindDialog(this);
    cdlFind->setObjectName(QStringLiteral("cdlFind"));

    OpenDialog.title = u("ファイルを開く");
    OpenDialog.defaultExt = QStringLiteral("txt");
    OpenDialog.filterIndex = 1;
    SaveDialog.title = u("名前を付けて保存");
    SaveDialog.defaultExt = QStringLiteral("txt");
    SaveDialog.filterIndex = 2;
    SaveDialog.overwritePrompt = true;
    const char *filters[] = {
        "読み込み可能ファイル (*.txt;*.htm;*.html;*.vbs;*.js;*.ini)|*.txt;*.htm;*.html;*.vbs;*.js;*.ini",
        "テキストファイル (*.txt)|*.txt",
        "インターネット文書 (*.htm;*.html)|*.htm;*.html",
        "Visual Basic Script (*.vbs)|*.vbs",
        "Java Script (*.js)|*.js",
        "設定ファイル (*.ini)|*.ini",
    };
    for (const char *f : filters) {
        OpenDialog.filters << u(f);
        SaveDialog.filters << u(f);
    }
    // Linux has many text files without an extension (README, Makefile): the open dialog can list them too.
    OpenDialog.filters << u("すべてのﾌｧｲﾙ (*)|*");
    SaveDialog.filters << u("すべてのﾌｧｲﾙ (*.*)|*.*");
}

void TfrmMain::buildCommands()
{
    auto makeAction = [this](const char *name, const QString &caption) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    auto bind = [this](QAction *a, Handler h) {
        if (h)
            connect(a, &QAction::triggered, this, zv::guarded(this, h));
    };
    QList<QKeySequence> reserved;
    auto addMenu = [&](QMenu *menu, const std::initializer_list<MenuRow> &rows) {
        for (const MenuRow &r : rows) {
            const bool separator = qstrcmp(r.caption, "-") == 0;
            QAction *a = makeAction(r.name, separator ? QString() : u(r.caption));
            a->setSeparator(separator);
            if (r.field)
                this->*r.field = a;
            if (!r.key.isEmpty()) {
                // The key is shown in the menu; the window's own dispatch runs it (DispatchShortcut).
                a->setShortcut(r.key);
                a->setShortcutContext(Qt::WidgetShortcut);
                auto *sc = new QShortcut(r.key, this);
                sc->setContext(Qt::WindowShortcut);
                sc->setObjectName(QStringLiteral("shortcut_") + a->objectName());
                connect(sc, &QShortcut::activated, this, [this, a] { DispatchShortcut(a); });
                reserved << r.key;
            }
            if (r.hint)
                a->setStatusTip(u(r.hint));
            bind(a, r.handler);
            menu->addAction(a);
        }
    };

    // The command tables: one row an item, aligned by hand.
    // clang-format off
    QMenuBar *bar = menuBar();
    FileMenu = bar->addMenu(u("ファイル(&F)"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    addMenu(FileMenu, {
        {&TfrmMain::FileNew, "FileNew", "新規作成(&N)", QKeySequence(Qt::CTRL | Qt::Key_N), &TfrmMain::FileNewClick, "ファイルを新規に作成します"},
        {&TfrmMain::FileOpen, "FileOpen", "開く(&O)...", QKeySequence(Qt::CTRL | Qt::Key_O), &TfrmMain::FileOpenClick, "ファイルを開きます"},
        {&TfrmMain::FileSave, "FileSave", "上書き保存(&S)", QKeySequence(Qt::CTRL | Qt::Key_S), &TfrmMain::FileSaveClick, "ファイルを保存します"},
        {&TfrmMain::FileSaveAs, "FileSaveAs", "名前を付けて保存(&A)...", {}, &TfrmMain::FileSaveAsClick, "ファイルを別名で保存します"},
        {&TfrmMain::mnuFileSep1, "mnuFileSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::PrintSetup1, "PrintSetup1", "プリンタの設定(&T)...", {}, &TfrmMain::PrintSetup1Click, "プリンタの設定ダイアログを表示します"},
        {&TfrmMain::Print1, "Print1", "印刷(&P)..", QKeySequence(Qt::CTRL | Qt::Key_P), &TfrmMain::Print1Click, "印刷します"},
        {&TfrmMain::mnuFileSep2, "mnuFileSep2", "-", {}, nullptr, nullptr},
        {&TfrmMain::FileExit, "FileExit", "終了(&X)", {}, &TfrmMain::FileExitClick, "終了させます"},
        {&TfrmMain::mnuFileSep3, "mnuFileSep3", "-", {}, nullptr, nullptr},
    });
    const Handler recentHandlers[4] = {&TfrmMain::mnuFileRe1Click, &TfrmMain::mnuFileRe2Click,
                                       &TfrmMain::mnuFileRe3Click, &TfrmMain::mnuFileRe4Click};
    for (int i = 0; i < 4; ++i) {
        // The caption is the plain file name: no accelerator is taken from it.
        auto *a = makeAction(QStringLiteral("mnuFileRe%1").arg(i + 1).toLatin1().constData(), QString());
        a->setStatusTip(u("このファイルを開きます"));
        bind(a, recentHandlers[i]);
        FileMenu->addAction(a);
        mnuFileRe[size_t(i)] = a;
    }
    connect(FileMenu, &QMenu::aboutToShow, this, zv::guarded(this, &TfrmMain::FileMenuClick));

    Edit1 = bar->addMenu(u("編集(&E)"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    addMenu(Edit1, {
        {&TfrmMain::EditUndo, "EditUndo", "元に戻す(&U)", QKeySequence(Qt::CTRL | Qt::Key_Z), &TfrmMain::EditUndoClick, "直前の操作を元に戻します"},
        {nullptr, "mnuEditSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::EditCut, "EditCut", "切り取り(&T)", QKeySequence(Qt::CTRL | Qt::Key_X), &TfrmMain::EditCutClick, "選択文字列を切り取ります"},
        {&TfrmMain::EditCopy, "EditCopy", "コピー(&C)", QKeySequence(Qt::CTRL | Qt::Key_C), &TfrmMain::EditCopyClick, "選択文字列をコピーします"},
        {&TfrmMain::EditPaste, "EditPaste", "貼り付け(&P)", QKeySequence(Qt::CTRL | Qt::Key_V), &TfrmMain::EditPasteClick, "クリップボードの内容を挿入します"},
        {&TfrmMain::EditDelete, "EditDelete", "削除(&L)", {}, &TfrmMain::EditDeleteClick, "選択文字列を削除します"},
        {nullptr, "mnuEditSep2", "-", {}, nullptr, nullptr},
        {&TfrmMain::EditSelectAll, "EditSelectAll", "すべて選択(&A)", QKeySequence(Qt::CTRL | Qt::Key_A), &TfrmMain::EditSelectAllClick, "すべて選択します"},
        {nullptr, "mnuEditSep3", "-", {}, nullptr, nullptr},
        {&TfrmMain::EditTimeDate, "EditTimeDate", "日付と時刻を挿入(&D)", QKeySequence(Qt::Key_F5), &TfrmMain::EditTimeDateClick, "日付と時刻を挿入します"},
        {nullptr, "mnuEditSep4", "-", {}, nullptr, nullptr},
        {&TfrmMain::mnuEditFind, "mnuEditFind", "検索(&F)...", QKeySequence(Qt::CTRL | Qt::Key_F), &TfrmMain::mnuEditFindClick, "文字列を検索します"},
        {&TfrmMain::N3, "N3", "次を検索(&S)", QKeySequence(Qt::Key_F3), &TfrmMain::cdlFindFind, "前回検索した文字列を検索します"},
        {nullptr, "mnuEditSep5", "-", {}, nullptr, nullptr},
        {&TfrmMain::EditWordWrap, "EditWordWrap", "右端で折り返す(&W)", QKeySequence(Qt::CTRL | Qt::Key_R), &TfrmMain::EditWordWrapClick, "文字列を右端で折り返すかを指定します"},
    });
    EditWordWrap->setCheckable(true);
    EditWordWrap->setChecked(true); // the design's mark; start-up sets it from the store

    mnuPgp = bar->addMenu(u("PGP(&P)"));
    mnuPgp->setObjectName(QStringLiteral("mnuPgp"));
    addMenu(mnuPgp, {
        {&TfrmMain::mnuPgpEncrypt, "mnuPgpEncrypt", "暗号化(&E)...", QKeySequence(Qt::Key_F9), &TfrmMain::mnuPgpEncryptClick, "PGPで暗号化します"},
        {&TfrmMain::mnuPgpSign, "mnuPgpSign", "署名(&S)...", QKeySequence(Qt::Key_F10), &TfrmMain::mnuPgpSignClick, "PGPで署名します"},
        {&TfrmMain::mnuPgpEncryptSign, "mnuPgpEncryptSign", "暗号化と署名(&N)...", QKeySequence(Qt::Key_F11), &TfrmMain::mnuPgpEncryptSignClick, "PGPで暗号化と署名をします"},
        {&TfrmMain::mnuPgpReencrypt, "mnuPgpReencrypt", "同じ宛先で暗号化(&A)", QKeySequence(Qt::SHIFT | Qt::Key_F9), &TfrmMain::mnuPgpReencryptClick, "復号した文書を、元の文書と同じ宛先にPGPで暗号化します"},
        {nullptr, "mnuPgpSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::mnuPgpDecrypt, "mnuPgpDecrypt", "復号化と検証(&D)...", QKeySequence(Qt::Key_F12), &TfrmMain::mnuPgpDecryptClick, "PGPで復号化と検証をします"},
        {nullptr, "mnuPgpSep2", "-", {}, nullptr, nullptr},
        {&TfrmMain::mnuPgpLaunchTools, "mnuPgpLaunchTools", "PGPツールの起動(&O)...", {}, &TfrmMain::mnuPgpLaunchToolsClick, "PGPツールを起動します"},
        {&TfrmMain::mnuPgpLaunchKeys, "mnuPgpLaunchKeys", "PGP鍵の起動(&L)...", {}, &TfrmMain::mnuPgpLaunchKeysClick, "PGP鍵を起動します"},
        {&TfrmMain::mnuPgpPreferences, "mnuPgpPreferences", "PGPの設定(&R)...", {}, &TfrmMain::mnuPgpPreferencesClick, "PGPの設定ダイアログを表示します"},
    });
    connect(mnuPgp, &QMenu::aboutToShow, this, zv::guarded(this, &TfrmMain::mnuPgpClick));

    View = bar->addMenu(u("表示(&V)"));
    View->setObjectName(QStringLiteral("View"));
    addMenu(View, {
        {&TfrmMain::EditRunAd, "EditRunAd", "この文字列を実行(&R)...", QKeySequence(Qt::Key_F7), &TfrmMain::EditRunAdClick, nullptr},
        {&TfrmMain::ViewShellProg, "ViewShellProg", "外部プログラムで開く(&P)...", QKeySequence(Qt::Key_F8), &TfrmMain::tbShellClick, "外部プログラムで現在のファイルを開きます"},
        {&TfrmMain::mnuViewSep1, "mnuViewSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::ViewToolBar, "ViewToolBar", "ツールバー(&T)", {}, &TfrmMain::ViewToolBarClick, "ツールバーの表示、非表示を切り替えます"},
        {&TfrmMain::ViewStatusBar, "ViewStatusBar", "ステータスバー(&S)", {}, &TfrmMain::ViewStatusBarClick, "ステータスバーの表示、非表示を切り替えます"},
        {nullptr, "mnuViewSep2", "-", {}, nullptr, nullptr},
        {&TfrmMain::ViewOption, "ViewOption", "オプション(&O)...", {}, &TfrmMain::ViewOptionClick, "オプションダイアログを表示します"},
    });
    ViewToolBar->setCheckable(true);
    ViewStatusBar->setCheckable(true);
    connect(View, &QMenu::aboutToShow, this, zv::guarded(this, &TfrmMain::ViewClick));

    Help1 = bar->addMenu(u("ヘルプ(&H)"));
    Help1->setObjectName(QStringLiteral("Help1"));
    addMenu(Help1, {
        {&TfrmMain::HelpContents, "HelpContents", "目次(&C)...", QKeySequence(Qt::Key_F1), &TfrmMain::HelpContentsClick, "ヘルプを表示します"},
        {nullptr, "mnuHelpSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::HelpAbout, "HelpAbout", "バージョン情報(&A)...", {}, &TfrmMain::HelpAboutClick, "バージョン情報を表示します"},
    });

    // The editor's pop-up menu: the same handlers and long hints, no shortcuts.
    addMenu(MemoPopup, {
        {&TfrmMain::mnuPopRunAd, "mnuPopRunAd", "この文字列を実行(&R)...", {}, &TfrmMain::EditRunAdClick, nullptr},
        {nullptr, "mnuPopSep1", "-", {}, nullptr, nullptr},
        {&TfrmMain::PopupUndo, "PopupUndo", "元に戻す(&U)", {}, &TfrmMain::EditUndoClick, "直前の操作を元に戻します"},
        {nullptr, "mnuPopSep2", "-", {}, nullptr, nullptr},
        {&TfrmMain::PopupCut, "PopupCut", "切り取り(&T)", {}, &TfrmMain::EditCutClick, "選択文字列を切り取ります"},
        {&TfrmMain::PopupCopy, "PopupCopy", "コピー(&C)", {}, &TfrmMain::EditCopyClick, "選択文字列をコピーします"},
        {&TfrmMain::PopupPaste, "PopupPaste", "貼り付け(&P)", {}, &TfrmMain::EditPasteClick, "クリップボードの内容を挿入します"},
        {&TfrmMain::PopupDelete, "PopupDelete", "削除(&D)", {}, &TfrmMain::EditDeleteClick, "選択文字列を削除します"},
        {nullptr, "mnuPopSep3", "-", {}, nullptr, nullptr},
        {&TfrmMain::PopupSelectAll, "PopupSelectAll", "すべて選択(&A)", {}, &TfrmMain::EditSelectAllClick, "すべて選択します"},
        {nullptr, "mnuPopSep4", "-", {}, nullptr, nullptr},
        {&TfrmMain::PopupDateTime, "PopupDateTime", "日付と時刻を挿入(&D)", {}, &TfrmMain::EditTimeDateClick, "日付と時刻を挿入します"},
    });

    const ToolRow tools[] = {
        {&TfrmMain::tbNew, "tbNew", 0, &TfrmMain::FileNewClick, "新規作成|ファイルを新規に作成します"},
        {&TfrmMain::tbOpen, "tbOpen", 1, &TfrmMain::FileOpenClick, "開く|ファイルを開きます"},
        {&TfrmMain::tbSave, "tbSave", 2, &TfrmMain::FileSaveClick, "上書き保存|ファイルを保存します"},
        {nullptr, "tbSep1", -1, nullptr, nullptr},
        {&TfrmMain::tbCut, "tbCut", 3, &TfrmMain::EditCutClick, "切り取り|選択された文字列を切り取ります"},
        {&TfrmMain::tbCopy, "tbCopy", 4, &TfrmMain::EditCopyClick, "コピー|選択された文字列をコピーします"},
        {&TfrmMain::tbPaste, "tbPaste", 5, &TfrmMain::EditPasteClick, "貼り付け|現在のカーソル位置にクリップボードの内容を挿入します"},
        {nullptr, "tbSep2", -1, nullptr, nullptr},
        {&TfrmMain::tbDateTime, "tbDateTime", 6, &TfrmMain::EditTimeDateClick, "日付と時刻|日付と時刻を現在のｶｰｿﾙ位置に挿入します"},
        {nullptr, "tbSep3", -1, nullptr, nullptr},
        {&TfrmMain::tbFind, "tbFind", 7, &TfrmMain::mnuEditFindClick, "検索|文字列を検索します"},
        {nullptr, "tbSep4", -1, nullptr, nullptr},
        {&TfrmMain::tbWordWrap, "tbWordWrap", 8, &TfrmMain::EditWordWrapClick, "右端で折り返す|文字列を右端で折り返すかを指定します", true},
        {&TfrmMain::tbSep5, "tbSep5", -1, nullptr, nullptr},
        {&TfrmMain::tbShell, "tbShell", 9, &TfrmMain::tbShellClick, "外部プログラムで開く|外部プログラムで現在のファイルを開きます"},
        {nullptr, "tbSep6", -1, nullptr, nullptr},
        {&TfrmMain::tbEncrypt, "tbEncrypt", 10, &TfrmMain::mnuPgpEncryptClick, "暗号化|PGPで暗号化します"},
        {&TfrmMain::tbSign, "tbSign", 11, &TfrmMain::mnuPgpSignClick, "署名|PGPで署名します"},
        {&TfrmMain::tbEncryptSign, "tbEncryptSign", 12, &TfrmMain::mnuPgpEncryptSignClick, "暗号化と署名|PGPで暗号化と署名をします"},
        {nullptr, "tbSep7", -1, nullptr, nullptr},
        {&TfrmMain::tbDecrypt, "tbDecrypt", 13, &TfrmMain::mnuPgpDecryptClick, "復号化と検証|PGPで復号化と検証をします"},
    };
    // clang-format on
    for (const ToolRow &t : tools) {
        QAction *a = nullptr;
        if (t.image < 0) {
            a = ToolBar->addSeparator();
            a->setObjectName(QString::fromLatin1(t.name));
        } else {
            const QString hint = u(t.hint);
            a = makeAction(t.name, hint.section(QLatin1Char('|'), 0, 0));
            a->setIcon(zv::toolIcon(t.image));
            a->setToolTip(hint.section(QLatin1Char('|'), 0, 0));
            a->setStatusTip(hint.section(QLatin1Char('|'), 1));
            a->setCheckable(t.checkable);
            bind(a, t.handler);
            ToolBar->addAction(a);
            // Screen readers name the button by its short hint.
            if (QWidget *w = ToolBar->widgetForAction(a)) {
                w->setObjectName(QString::fromLatin1(t.name) + QStringLiteral("Button"));
                w->setAccessibleName(a->toolTip());
            }
        }
        if (t.field)
            this->*t.field = a;
    }
    tbWordWrap->setChecked(true);

    Memo->setReservedShortcuts(reserved);
    Memo->onKeyPress = [this](int &key) { zv::runGuarded([&] { MemoKeyPress(key); }); };
    Memo->onFileDropped = [this](const QString &f) { zv::runGuarded([&] { WMDropFiles({f}); }); };
    Memo->onTextLimit = [this] { zv::runGuarded([&] { MemoTextLimit(); }); };
    connect(Memo, &zv::Editor::textChangedByUser, this, zv::guarded(this, &TfrmMain::MemoChange));
    connect(Memo, &zv::Editor::selectionMoved, this, zv::guarded(this, &TfrmMain::MemoSelectionChange));
    connect(cdlFind, &zv::FindDialog::findNext, this, zv::guarded(this, &TfrmMain::cdlFindFind));
}

void TfrmMain::DispatchShortcut(QAction *item)
{
    zv::runGuarded([&] {
        const auto menus = item->associatedObjects();
        for (QObject *o : menus) {
            if (o == FileMenu)
                FileMenuClick();
            else if (o == mnuPgp)
                mnuPgpClick();
            else if (o == View)
                ViewClick();
        }
        // A hidden item keeps its shortcut. Qt reports a hidden action as disabled, so its own state is read
        // with it shown for a moment.
        bool enabled = item->isEnabled();
        if (!enabled && !item->isVisible()) {
            const QSignalBlocker block(item);
            item->setVisible(true);
            enabled = item->isEnabled();
            item->setVisible(false);
        }
        if (enabled)
            item->trigger();
    });
}

void TfrmMain::SetTitle(const QString &title)
{
    setWindowTitle(title);
    if (auto *app = zv::Application::instance())
        app->setTitle(title);
}

void TfrmMain::SetFlatToolbar(bool flat)
{
    m_flatToolbar = flat;
    // A raised tool bar draws every button with its frame, as an unflattened bar does.
    ToolBar->setStyleSheet(flat ? QString()
                                : QStringLiteral("QToolButton { border: 1px solid palette(mid); border-radius: 2px;"
                                                 " background: palette(button); margin: 1px; }"
                                                 "QToolButton:pressed, QToolButton:checked {"
                                                 " background: palette(mid); }"));
}

bool TfrmMain::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        // The long hint of whatever the mouse is over becomes the application's hint (shown in panel 3).
        if (auto *app = zv::Application::instance())
            app->setHint(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == StatusBar && e->type() == QEvent::MouseButtonRelease)
        zv::runGuarded([this] { StatusBarClick(); });
    return QMainWindow::eventFilter(watched, e);
}
