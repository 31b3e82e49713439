// Printing. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::PrintSetup1Click() {}
void TfrmMain::Print1Click() {}
