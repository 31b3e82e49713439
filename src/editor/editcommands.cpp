// Edit commands and typing aids. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::EditUndoClick() {}
void TfrmMain::EditCutClick() {}
void TfrmMain::EditCopyClick() {}
void TfrmMain::EditPasteClick() {}
void TfrmMain::EditDeleteClick() {}
void TfrmMain::EditSelectAllClick() {}
void TfrmMain::MemoKeyPress(int &) {}
