// What the program knows about the document, and how the window title follows it.

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/filenames.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <fcntl.h>
#include <unistd.h>

namespace {
const QString kSuffix = QStringLiteral(" - Zuvelo PGP");
const QString kReadOnly = QStringLiteral(" [読み取り専用]");
} // namespace

QString TfrmMain::TitleName(const QString &fileName)
{
    // A name that is not UTF-8 (Shift-JIS from a Windows archive) is shown decoded as Shift-JIS.
    return zv::displayFileName(fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1));
}

void TfrmMain::SetFileTitle(const QString &fileName)
{
    const QByteArray path = zv::nativeFileName(fileName);
    if (::access(path.constData(), F_OK) != 0)
        return; // the attributes cannot be read: nothing changes
    // Read-only means: the user may not write the file (its mode, its owner, or a read-only mount), judged
    // as the saver judges it.
    if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0) {
        Memo->setTag(1);
        SetTitle(TitleName(fileName) + kReadOnly + kSuffix);
    } else {
        Memo->setTag(0);
        SetTitle(TitleName(fileName) + kSuffix);
    }
}

void TfrmMain::SetUntitledTitle()
{
    Memo->setTag(0);
    SaveDialog.fileName.clear();
    SetTitle(QStringLiteral("無題") + kSuffix);
}

void TfrmMain::SetSavedTitle(const QString &fileName)
{
    Memo->setTag(0);
    SetTitle(TitleName(fileName) + kSuffix);
}

void TfrmMain::CheckEmptyUntitled()
{
    if (SaveDialog.fileName.isEmpty() && Memo->textLength() == 0)
        Memo->setModified(false);
}

QString TfrmMain::DesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QDir::homePath();
}

QString TfrmMain::InitialFolder() const
{
    if (SaveDialog.fileName.isEmpty())
        return DesktopFolder();
    const qsizetype slash = SaveDialog.fileName.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QDir::currentPath();
    if (slash == 0)
        return QStringLiteral("/");
    return SaveDialog.fileName.left(slash);
}
