// Dropped files. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::WMDropFiles(const QStringList &) {}
