// Start-up and close of the main window.

#include "frmMain.h"
#include "pgp/pgplibrary.h"
#include "platform/application.h"
#include "platform/finddialog.h"
#include "platform/helpviewer.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>

using namespace zv;

namespace {
const QString kPrompt = QStringLiteral("ファイルの内容が変更されています。保存しますか?");
}

void TfrmMain::FormCreate()
{
    // 1. The PGP library; its result is not looked at.
    pgp().init();

    // 2. Idle and hint events.
    if (auto *app = Application::instance()) {
        connect(app, &Application::idle, this, guarded(this, &TfrmMain::AppIdle));
        connect(app, &Application::hintChanged, this, guarded(this, &TfrmMain::AppHint));
    }

    // 3. The settings store stays open until the editor's options have been applied.
    SettingsStore store;

    // 4.
    FTabWidth = store.readInteger(kOtherData, QStringLiteral("TabWidth"), 6);

    // 5. Window position and size.
    const int left = store.readInteger(kFormData, QStringLiteral("Left"), 0);
    const int top = store.readInteger(kFormData, QStringLiteral("Top"), 0);
    const int height = store.readInteger(kFormData, QStringLiteral("Height"), 480);
    const int width = store.readInteger(kFormData, QStringLiteral("Width"), 640);
    move(left, top);
    resize(width, height);

    // 6. Where the find dialog will stand.
    const int findTop = store.readInteger(kFormData, QStringLiteral("FindTop"), 0);
    const int findLeft = store.readInteger(kFormData, QStringLiteral("FindLeft"), 0);
    cdlFind->placeAt(QPoint(findLeft, findTop));

    // 7. Window state: 0 normal, 1 minimised, 2 maximised.
    const int state = store.readInteger(kFormData, QStringLiteral("WindowState"), 0);

    // 8. External program.
    FShellProg = store.readString(kOtherData, QStringLiteral("ShellProg"), QString());
    if (FShellProg.isEmpty()) {
        tbShell->setVisible(false);
        tbSep5->setVisible(false);
    }

    // 9. Recent files; not hidden here.
    for (int n = 1; n <= 4; ++n)
        setRecent(n, store.readString(kOtherData, QStringLiteral("Recent%1").arg(n), QString()));

    // 10. The window font carries the editor font.
    FFont = ReadStoredFont(store);

    // 11. Input method at start.
    Memo->setInputMethodOpen(store.readBool(kOtherData, QStringLiteral("IME_Mode"), true));

    // 12.
    Memo->setBackgroundColor(unsigned(store.readInteger(kOtherData, QStringLiteral("BackColor"), 0xFFFFFF)));

    // 13.
    FEscExit = store.readBool(kOtherData, QStringLiteral("EscExit"), true);
    SetFlatToolbar(store.readBool(kOtherData, QStringLiteral("FlatToolbar"), true));
    FAutoIndent = store.readBool(kOtherData, QStringLiteral("AutoIndent"), true);
    FTabToSpace = store.readBool(kOtherData, QStringLiteral("TabToSpace"), false);

    // 14.
    EditWordWrap->setChecked(store.readBool(kOtherData, QStringLiteral("WordWrap"), false));
    tbWordWrap->setChecked(EditWordWrap->isChecked());

    // 15.
    ToolBar->setVisible(store.readBool(kOtherData, QStringLiteral("ToolBar"), true));
    StatusBar->setVisible(store.readBool(kOtherData, QStringLiteral("StatusBar"), true));

    // 16.
    Memo->setWordWrap(EditWordWrap->isChecked());
    Memo->setScrollBarsBoth(!EditWordWrap->isChecked());

    // 17. Show the window; FormShow runs before this step ends.
    switch (state) {
    case 1: showMinimized(); break;
    case 2: showMaximized(); break;
    default: show(); break;
    }
    FormShow();

    // 18, 19.
    FDateTimeFormat = store.readString(kOtherData, QStringLiteral("DateTime"), QStringLiteral("yy/mm/dd hh:nn:ss"));
    cdlFind->setFindText(store.readString(kOtherData, QStringLiteral("FindText"), QString()));

    // 20. A file named on the command line. A failed read is reported and start-up goes on.
    if (FArgs.size() == 1) {
        const QString name = ExpandLongName(FArgs.constFirst());
        runGuarded([&] {
            ReadDocumentFile(name);
            SaveDialog.fileName = name;
            SetFileTitle(name);
            AddRecentFile(name);
        });
    }

    // 21. IME composition colours from the store.
    ApplyImeColorsFromStore(store);

    // 22. Selection bar and vertical writing.
    ApplyEditorOptions(store);

    // 23. The store's view closes at the end of this function; 24. dropped files are accepted (buildLayout).

    // 25. The ".LOG" stamp, or a clean start.
    if (Memo->lineText(0) == QLatin1String(".LOG")) {
        ApplyLogStamp();
    } else {
        Memo->setModified(false);
        Panels[2]->clear();
    }

    // 26.
    Memo->setFocus();

    // Problems with the settings file are told once the window stands.
    for (const QString &notice : SettingsStore::takeNotices())
        if (auto *app = Application::instance())
            app->showException(notice);
}

void TfrmMain::FormShow()
{
    Memo->setEditorFont(FFont);
    ApplyTabStops(FTabWidth);
}

int TfrmMain::SpaceWidth() const
{
    return QFontMetrics(Memo->font()).horizontalAdvance(QLatin1Char(' '));
}

void TfrmMain::ApplyTabStops(int tabWidth)
{
    const int w = SpaceWidth() * tabWidth;
    Memo->beginUpdate();
    const int start = Memo->selStart();
    const int length = Memo->selLength();
    const int count = Memo->setTabCount(100);
    for (int i = 0; i < count; ++i)
        Memo->setTabStop(i, int((qint64(w) * i * 3) / 4));
    Memo->endUpdate();
    Memo->setSelStart(start);
    Memo->setSelLength(length);
}

QString TfrmMain::ExpandLongName(const QString &name)
{
    // Linux has no short names: the name as given, made absolute against the current folder.
    if (name.isEmpty())
        return name;
    return QDir::cleanPath(QDir::current().absoluteFilePath(name));
}

bool TfrmMain::FormCloseQuery()
{
    bool canClose = true;
    // The save prompt. An error of the close-time save ends the query here: the window stays open and
    // nothing is written.
    CheckEmptyUntitled();
    if (Memo->modified()) {
        const int answer = Application::instance()->messageBox(kPrompt, QStringLiteral("Zuvelo PGP"),
                                                               MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        if (answer == IDYES) {
            if (!CloseTimeSave())
                canClose = false;
        } else if (answer != IDNO) {
            canClose = false;
        }
    }

    // The window settings, whatever the answer. A setting that cannot be written is reported; it does not
    // keep the window from closing, so that a settings folder that cannot be written never traps the user.
    runGuarded([this] {
        SettingsStore store;
        const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
        store.writeInteger(kFormData, QStringLiteral("WindowState"), state);
        if (state == 0) {
            store.writeInteger(kFormData, QStringLiteral("Left"), x());
            store.writeInteger(kFormData, QStringLiteral("Top"), y());
            store.writeInteger(kFormData, QStringLiteral("Height"), height());
            store.writeInteger(kFormData, QStringLiteral("Width"), width());
        }
        for (int n = 1; n <= 4; ++n)
            store.writeString(kOtherData, QStringLiteral("Recent%1").arg(n), recent(n));
        const QPoint findPos = cdlFind->storedPosition();
        store.writeInteger(kFormData, QStringLiteral("FindLeft"), findPos.x());
        store.writeInteger(kFormData, QStringLiteral("FindTop"), findPos.y());
        store.writeBool(kOtherData, QStringLiteral("WordWrap"), EditWordWrap->isChecked());
        store.writeBool(kOtherData, QStringLiteral("ToolBar"), !ToolBar->isHidden());
        store.writeBool(kOtherData, QStringLiteral("StatusBar"), !StatusBar->isHidden());
        if (!FindTextIsPrivate()) // a text searched for in decrypted text stays off the disk
            store.writeString(kOtherData, QStringLiteral("FindText"), cdlFind->findText());
    });
    return canClose;
}

void TfrmMain::FormClose()
{
    pgp().release();
}

void TfrmMain::closeEvent(QCloseEvent *e)
{
    bool canClose = false;
    if (!runGuarded([&] { canClose = FormCloseQuery(); }))
        canClose = false;
    if (!canClose) {
        e->ignore();
        return;
    }
    runGuarded([this] { FormClose(); });
    if (cdlFind)
        cdlFind->close();
    if (FHelpViewer)
        FHelpViewer->close();
    e->accept();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent *e)
{
    if (e->mimeData()->hasUrls())
        for (const QUrl &url : e->mimeData()->urls())
            if (url.isLocalFile()) {
                e->acceptProposedAction();
                return;
            }
}

void TfrmMain::dropEvent(QDropEvent *e)
{
    QStringList files;
    for (const QUrl &url : e->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (files.isEmpty())
        return;
    e->acceptProposedAction();
    runGuarded([&] { WMDropFiles(files); });
}
