// Running the selection and the external program. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::EditRunAdClick() {}
void TfrmMain::tbShellClick() {}
