// The View menu's toggles and its opening handler, and the help window.

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/helpviewer.h"

#include <QAction>
#include <QFileInfo>
#include <QStatusBar>
#include <QToolBar>

namespace {

// The manual for the application's help file "Name.hlp": its HTML edition "Name.html", else the program's
// manual "manual.html", looked for where the program installs its manual (an absolute help file name: in
// that folder only). The source tree's help folder serves a program run from its build folder.
QString findHelpManual(const QString &helpFile)
{
    const QFileInfo info(helpFile);
    QStringList names;
    const QString folder = info.isAbsolute() ? info.absolutePath() + u'/' : QString();
    if (helpFile.endsWith(QLatin1String(".html"), Qt::CaseInsensitive) ||
        helpFile.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)) {
        names << helpFile;
    } else {
        if (!info.completeBaseName().isEmpty())
            names << folder + info.completeBaseName() + QStringLiteral(".html");
        names << folder + QStringLiteral("manual.html");
    }
    QStringList extraDirs;
#ifdef ZV_SOURCE_DIR
    extraDirs << QStringLiteral(ZV_SOURCE_DIR "/help");
#endif
    for (const QString &name : std::as_const(names)) {
        const QString found = zv::HelpViewer::findManual(name, extraDirs);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

} // namespace

void TfrmMain::ViewClick()
{
    ViewToolBar->setChecked(!ToolBar->isHidden());
    ViewStatusBar->setChecked(!StatusBar->isHidden());
    const bool shell = !FShellProg.isEmpty();
    ViewShellProg->setVisible(shell);
    mnuViewSep1->setVisible(shell);
}

// The toggles leave the check marks alone: the menu sets them each time it opens.
void TfrmMain::ViewToolBarClick() { ToolBar->setVisible(ToolBar->isHidden()); }

void TfrmMain::ViewStatusBarClick() { StatusBar->setVisible(StatusBar->isHidden()); }

void TfrmMain::HelpContentsClick()
{
    auto *app = zv::Application::instance();
    const QString manual = findHelpManual(app ? app->helpFile() : QString());
    if (manual.isEmpty()) {
        if (app)
            app->messageBox(QStringLiteral("ヘルプファイルが見つかりませんでした。"), QStringLiteral("Zuvelo PGP"),
                            zv::MB_OK | zv::MB_ICONEXCLAMATION);
        return;
    }
    // One help window, brought to the front again while it is open.
    if (!FHelpViewer) {
        FHelpViewer = new zv::HelpViewer(this);
        FHelpViewer->openManual(manual); // a manual that cannot be read says so in the window
    } else if (FHelpViewer->manualPath() != manual) {
        FHelpViewer->openManual(manual);
    }
    FHelpViewer->showContents();
}
