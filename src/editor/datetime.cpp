// Inserting the current date and time.

#include "app/frmMain.h"
#include "editor/datetimeformat.h"

#include <QDateTime>

void TfrmMain::EditTimeDateClick()
{
    Memo->replaceSelection(zv::formatDateTime(FDateTimeFormat, QDateTime::currentDateTime()));
}
