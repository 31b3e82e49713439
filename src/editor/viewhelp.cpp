// View toggles and help. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::ViewClick() {}
void TfrmMain::ViewToolBarClick() {}
void TfrmMain::ViewStatusBarClick() {}
void TfrmMain::HelpContentsClick() {}
void TfrmMain::HelpAboutClick() {}
