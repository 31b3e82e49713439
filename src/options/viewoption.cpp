// The Options command. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::ViewOptionClick() {}
