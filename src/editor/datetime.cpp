// Date and time insertion. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::EditTimeDateClick() {}
