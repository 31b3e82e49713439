// Find. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::mnuEditFindClick() {}
void TfrmMain::cdlFindFind() {}
