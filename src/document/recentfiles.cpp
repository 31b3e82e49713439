// The four most recent files at the end of the File menu. The menu items themselves hold the list.

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/filenames.h"

#include <QAction>

QString TfrmMain::recent(int n) const { return mnuFileRe[size_t(n - 1)]->data().toString(); }

void TfrmMain::setRecent(int n, const QString &name)
{
    QAction *item = mnuFileRe[size_t(n - 1)];
    item->setData(name);
    // The caption is the plain name: an ampersand in it is shown, not taken as an accelerator. A name that
    // is not UTF-8 is shown as the user reads it; the item keeps its bytes.
    QString caption = zv::displayFileName(name);
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    item->setText(caption);
}

void TfrmMain::MoveRecentToTop(int n)
{
    const QString moved = recent(n);
    for (int i = n; i >= 2; --i)
        setRecent(i, recent(i - 1));
    setRecent(1, moved);
}

void TfrmMain::AddRecentFile(const QString &fileName)
{
    for (int n = 4; n >= 2; --n)
        if (fileName == recent(n)) {
            MoveRecentToTop(n);
            return;
        }
    if (fileName == recent(1))
        return;
    for (int n = 4; n >= 2; --n)
        setRecent(n, recent(n - 1));
    setRecent(1, fileName);
}

void TfrmMain::AddRecentFileFromTop(const QString &fileName)
{
    // Save As compares from the top: entries 2 and 3 move up; otherwise the name is pushed in, which also
    // drops an entry 4 equal to it.
    if (fileName == recent(1))
        return;
    for (int n = 2; n <= 3; ++n)
        if (fileName == recent(n)) {
            MoveRecentToTop(n);
            return;
        }
    for (int n = 4; n >= 2; --n)
        setRecent(n, recent(n - 1));
    setRecent(1, fileName);
}

void TfrmMain::FileMenuClick()
{
    mnuFileSep3->setVisible(true);
    for (QAction *item : mnuFileRe)
        item->setVisible(true);

    // Drop entries that name no existing file, from the bottom up.
    for (int n = 4; n >= 1; --n) {
        const QString name = recent(n);
        if (name.isEmpty() || !zv::isExistingFile(name)) {
            for (int i = n; i < 4; ++i)
                setRecent(i, recent(i + 1));
            setRecent(4, QString());
        }
    }

    // Hide the empty entries from the bottom, up to the first one that is not empty.
    for (int n = 4; n >= 1; --n) {
        if (!recent(n).isEmpty())
            break;
        mnuFileRe[size_t(n - 1)]->setVisible(false);
        if (n == 1)
            mnuFileSep3->setVisible(false);
    }
}

namespace {
// The recent-file commands: the entry is opened by name and then stands at the top, also after "not
// found" or a save prompt that stopped the opening; an error of the opening (a failed read, or a failed
// save after Yes at the prompt, which is reported there and stops the opening) skips the move.
// A Save As answered at the save prompt may have pushed the list down meanwhile: then the chosen name
// is put on top by name, so that the entry moved is always the one that was chosen.
void openRecent(TfrmMain &w, int n)
{
    const QString name = w.recent(n);
    auto *app = zv::Application::instance();
    const int reports = app ? app->errorReports() : 0;
    if (!w.FileOpenByName(name) && app && app->errorReports() != reports)
        return;
    if (w.recent(n) == name) {
        if (n > 1)
            w.MoveRecentToTop(n);
    } else if (!name.isEmpty()) {
        w.AddRecentFile(name);
    }
}
} // namespace

void TfrmMain::mnuFileRe1Click() { openRecent(*this, 1); }
void TfrmMain::mnuFileRe2Click() { openRecent(*this, 2); }
void TfrmMain::mnuFileRe3Click() { openRecent(*this, 3); }
void TfrmMain::mnuFileRe4Click() { openRecent(*this, 4); }
