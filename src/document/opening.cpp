// Opening files. (Not built yet: these commands do nothing so far.)
#include "app/frmMain.h"

void TfrmMain::FileOpenClick() {}
bool TfrmMain::FileOpenByName(const QString &) { return true; }
void TfrmMain::ReadDocumentFile(const QString &) {}
void TfrmMain::ApplyLogStamp() {}
