// Command states and the status bar. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::AppIdle() {}
void TfrmMain::AppHint() {}
void TfrmMain::MemoChange() {}
void TfrmMain::MemoSelectionChange() {}
void TfrmMain::StatusBarClick() {}
