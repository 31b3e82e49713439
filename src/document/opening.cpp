// Opening files: the Open command, opening by name (the recent-file commands), and the steps every way
// of opening shares: reading the file into the editor and the ".LOG" stamp.

#include "app/frmMain.h"
#include "document/documentfile.h"
#include "document/documentio.h"
#include "editor/datetimeformat.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/filenames.h"
#include "platform/textfile.h"

#include <QDateTime>

using namespace zv;

void TfrmMain::ReadDocumentFile(const QString &fileName)
{
    // The whole file is read and decoded before the editor is touched: a file that cannot be read leaves
    // the document exactly as it was (text, modified flag, read-only mark, title, name, recent list).
    DecodedText doc = document::readDocument(*this, fileName);

    // The mark stays 1 while the text streams in, so the change handler shows no modified indicator. Should
    // filling the editor itself fail, it stays 1, and a later Save goes through Save As instead of writing
    // a half-filled editor over the previous file.
    Memo->setTag(1);
    Memo->loadText(doc.text);
    NoteDocumentRead(fileName, doc.text);
    doc.text = QString(); // the editor holds its own copy; a 4 MB document need not stay twice
    FLineBreakStyle = int(doc.lineBreaks);
    Memo->setTag(0);
    Memo->setModified(false);
}

void TfrmMain::ApplyLogStamp()
{
    if (Memo->lineText(0) != QLatin1String(".LOG"))
        return;
    if (Memo->tag() == 1)
        return;
    const QString stamp = formatDateTime(FDateTimeFormat, QDateTime::currentDateTime());
    // Always at the very end: a text that ends with a line break gets an empty line before the stamp.
    Memo->setText(Memo->plainText() + QLatin1Char('\n') + stamp + QLatin1Char('\n'));
    Memo->setSelStart(Memo->textLength());
    // Text the program put in is text the user has not saved yet.
    Memo->setModified(true);
    SetModifiedIndicator(true);
}

void TfrmMain::FileOpenClick()
{
    CheckEmptyUntitled();
    if (AskSaveChanges(false) == SaveAnswer::Stop)
        return;

    OpenDialog.fileName.clear();
    OpenDialog.initialDir = InitialFolder();
    if (!Dialogs::instance().openFile(this, OpenDialog))
        return;
    const QString name = OpenDialog.fileName;

    document::WaitCursor wait;
    ReadDocumentFile(name);
    AddRecentFile(name);
    SetFileTitle(name);
    ApplyLogStamp();
    SaveDialog.fileName = name;
}

bool TfrmMain::FileOpenByName(const QString &fileName)
{
    if (!isExistingFile(fileName)) {
        Application::instance()->messageBox(QStringLiteral("ファイルが見つかりませんでした。"),
                                            QStringLiteral("Zuvelo PGP"), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    CheckEmptyUntitled();
    if (AskSaveChanges(false) == SaveAnswer::Stop)
        return false;
    // The file may have been removed while the prompt was open.
    if (!isExistingFile(fileName))
        return false;

    ReadDocumentFile(fileName);
    SaveDialog.fileName = fileName;
    SetFileTitle(fileName);
    ApplyLogStamp();
    return true;
}
