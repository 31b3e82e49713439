// Running the selection (a file, a program, a web link or a mail recipient) and opening the document in
// the external program. Both go to the desktop directly, never through a shell, and neither reports
// whether the desktop managed it.

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString strippedOfBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 32)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

// "http://...", "file:/...", "news:..." : a scheme of two or more letters, then a colon.
bool hasUrlScheme(const QString &s)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.\\-]+:"));
    return scheme.match(s).hasMatch();
}

// "https://user@example.jp/", "ftp://host/@pub", "file:///tmp/a@b": a web or file link, whatever it holds.
bool isWebOrFileLink(const QString &s)
{
    static const QRegularExpression link(QStringLiteral("^(https?|ftp|file):"),
                                         QRegularExpression::CaseInsensitiveOption);
    return link.match(s).hasMatch();
}

// What the desktop is asked to open for the selected text s (not empty); relative names are taken from
// folder.
QUrl targetOf(const QString &s, const QString &folder)
{
    // A link is opened as the link it is: an "@" in its user part or path does not make it a recipient.
    if (isWebOrFileLink(s))
        return QUrl(s);
    if (s.contains(QLatin1Char('@'))) {
        // A recipient already written as a mail link is not prefixed a second time.
        if (s.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
            return QUrl(s);
        return QUrl(QStringLiteral("mailto:") + s);
    }

    QString path = s;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    const QString local = QDir::cleanPath(QDir(folder).absoluteFilePath(path));
    const bool exists = QFileInfo::exists(local);

    if (!exists) {
        if (hasUrlScheme(s))
            return QUrl(s);
        // Host names typed without a scheme, as the desktop's own address bars take them.
        if (s.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
            return QUrl(QStringLiteral("http://") + s);
        if (s.startsWith(QLatin1String("ftp."), Qt::CaseInsensitive))
            return QUrl(QStringLiteral("ftp://") + s);
    }
    return QUrl::fromLocalFile(local);
}

} // namespace

void TfrmMain::EditRunAdClick()
{
    const QString s = strippedOfBlanks(Memo->selText());
    if (s.isEmpty())
        return; // only blanks were selected: nothing to open

    // Relative names are taken from the document's folder; an untitled document has none, so the
    // program's current folder serves.
    const QString folder = SaveDialog.fileName.isEmpty() ? QDir::currentPath()
                                                         : QFileInfo(SaveDialog.fileName).absolutePath();
    zv::Dialogs::instance().openUrl(targetOf(s, folder));
}

void TfrmMain::tbShellClick()
{
    if (Memo->modified()) {
        const int answer = zv::Application::instance()->messageBox(
            QStringLiteral("ファイルの内容が変更されています。保存しますか?\n（ここで保存することをお勧めします。）"),
            QStringLiteral("Zuvelo PGP"), zv::MB_YESNO | zv::MB_ICONEXCLAMATION);
        if (answer == zv::IDYES) {
            FileSaveClick();
            // The user asked for the text on screen; a save that did not happen (its dialog was
            // cancelled) must not hand the program an older file.
            if (Memo->modified())
                return;
        }
    }
    const QString fileName = SaveDialog.fileName;
    if (fileName.isEmpty() || FShellProg.isEmpty())
        return;
    // The program and the file go over as they are, blanks and quotes included.
    zv::Dialogs::instance().startDetached(FShellProg, {fileName});
}
