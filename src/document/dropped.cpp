// Files dropped on the window or on the editor: the first one becomes the document.

#include "app/frmMain.h"
#include "document/documentio.h"

void TfrmMain::WMDropFiles(const QStringList &fileNames)
{
    if (fileNames.isEmpty())
        return;
    const QString name = fileNames.constFirst(); // further names are not used

    // The drop usually comes while another program is in front, hence the topmost box. The empty-untitled
    // rule is not applied here.
    if (AskSaveChanges(true) == SaveAnswer::Stop)
        return;

    zv::document::WaitCursor wait;
    ReadDocumentFile(name);
    AddRecentFile(name);
    SaveDialog.fileName = name;
    SetFileTitle(name);
    ApplyLogStamp();
}
