// Start-up and close of the main window.

#include "frmMain.h"
#include "pgp/pgplibrary.h"
#include "platform/application.h"
#include "platform/filenames.h"
#include "platform/finddialog.h"
#include "platform/helpviewer.h"
#include "platform/inputmethodstate.h"
#include "platform/settingsstore.h"
#include "platform/windowplace.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

using namespace zv;

namespace {
const QString kPrompt = QStringLiteral("ファイルの内容が変更されています。保存しますか?");

// The available area of all screens together: where a stored window position may put the window.
QRect screensArea()
{
    QRect area;
    for (const QScreen *screen : QGuiApplication::screens())
        area |= screen->availableGeometry();
    return area;
}
} // namespace

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
    FTabWidth = store.read(setting::TabWidth);

    // 5. Window position and size, on the screens of this run. The stored size is kept where the screens
    // can hold it; a position that would leave the title bar on no screen (a monitor since unplugged, a
    // hand-edited store) brings the window onto the nearest screen instead.
    const int left = store.read(setting::Left);
    const int top = store.read(setting::Top);
    const int height = store.read(setting::Height);
    const int width = store.read(setting::Width);
    const QRect area = screensArea();
    const QSize size = setting::fitOnScreen(QRect(left, top, width, height), area).size();
    move(reachableWindowPosition(QRect(QPoint(left, top), size), screenAreas()));
    resize(size);

    // 6. Where the find dialog will stand: on the screens too.
    const int findTop = store.read(setting::FindTop);
    const int findLeft = store.read(setting::FindLeft);
    cdlFind->placeAt(setting::fitOnScreen(QRect(QPoint(findLeft, findTop), cdlFind->sizeHint()), area).topLeft());

    // 7. Window state: 0 normal, 1 minimised, 2 maximised.
    const int state = store.read(setting::WindowState);

    // 8. External program.
    FShellProg = store.read(setting::ShellProg);
    if (FShellProg.isEmpty()) {
        tbShell->setVisible(false);
        tbSep5->setVisible(false);
    }

    // 9. Recent files; not hidden here.
    for (int n = 1; n <= 4; ++n)
        setRecent(n, store.read(setting::Recent[n - 1]));

    // 10. The window font carries the editor font.
    FFont = ReadStoredFont(store);

    // 11. Input method at start: the editor's hints, and the input method's own open state once the
    // editor's input context exists (after the window is shown and the editor focused, below).
    const bool imeOpen = store.read(setting::ImeMode);
    Memo->setInputMethodOpen(imeOpen);
    setInputMethodOpenFor(Memo, imeOpen);

    // 12.
    Memo->setBackgroundColor(unsigned(store.read(setting::BackColor)));

    // 13.
    FEscExit = store.read(setting::EscExit);
    SetFlatToolbar(store.read(setting::FlatToolbar));
    FAutoIndent = store.read(setting::AutoIndent);
    FTabToSpace = store.read(setting::TabToSpace);

    // 14.
    EditWordWrap->setChecked(store.read(setting::WordWrap));
    tbWordWrap->setChecked(EditWordWrap->isChecked());

    // 15.
    ToolBar->setVisible(store.read(setting::ToolBar));
    StatusBar->setVisible(store.read(setting::StatusBar));

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
    FDateTimeFormat = store.read(setting::DateTime);
    cdlFind->setFindText(store.read(setting::FindText));

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

qreal TfrmMain::SpaceWidth() const
{
    // The exact advance the editor lays its text out with: a width rounded to whole pixels would put
    // every stop a little further off the space columns than the one before.
    return QFontMetricsF(Memo->font(), Memo->viewport()).horizontalAdvance(QLatin1Char(' '));
}

void TfrmMain::ApplyTabStops(int tabWidth)
{
    // Stop i at i tab widths, in points of the editor's screen (3/4 point a pixel at 96 dpi), kept
    // unrounded so that each lands on a space column.
    const qreal w = SpaceWidth() * tabWidth;
    const qreal pointsPerPixel = 72.0 / Memo->logicalDpiX();
    Memo->beginUpdate();
    const int start = Memo->selStart();
    const int length = Memo->selLength();
    const int count = Memo->setTabCount(100);
    for (int i = 0; i < count; ++i)
        Memo->setTabStop(i, w * i * pointsPerPixel);
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

    // The window settings, whatever the answer, in one write of the settings file. A setting that cannot be
    // written is reported; it does not keep the window from closing, so that a settings folder that cannot
    // be written never traps the user.
    runGuarded([this] {
        SettingsBatch values;
        const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
        values.set(setting::WindowState, state);
        if (state == 0) {
            values.set(setting::Left, x());
            values.set(setting::Top, y());
            values.set(setting::Height, height());
            values.set(setting::Width, width());
        }
        for (int n = 1; n <= 4; ++n)
            values.set(setting::Recent[n - 1], recent(n));
        const QPoint findPos = cdlFind->storedPosition();
        values.set(setting::FindLeft, findPos.x());
        values.set(setting::FindTop, findPos.y());
        values.set(setting::WordWrap, EditWordWrap->isChecked());
        values.set(setting::ToolBar, !ToolBar->isHidden());
        values.set(setting::StatusBar, !StatusBar->isHidden());
        if (!FindTextIsPrivate()) // a text searched for in decrypted text stays off the disk
            values.set(setting::FindText, cdlFind->findText());
        SettingsStore::commit(values);
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
    // The names byte for byte: a dropped Shift-JIS name must open and save back under its own bytes.
    for (const QUrl &url : e->mimeData()->urls())
        if (url.isLocalFile())
            files << fileNameFromUrl(url);
    if (files.isEmpty())
        return;
    e->acceptProposedAction();
    runGuarded([&] { WMDropFiles(files); });
}
