// Saving files and the save prompt. (Not built yet: only Exit works so far.)
#include "app/frmMain.h"

void TfrmMain::FileSaveClick() {}
void TfrmMain::FileSaveAsClick() {}
void TfrmMain::FileNewClick() {}
void TfrmMain::FileExitClick() { close(); }
TfrmMain::SaveAnswer TfrmMain::AskSaveChanges(bool) { return SaveAnswer::GoOn; }
bool TfrmMain::CloseTimeSave() { return true; }
void TfrmMain::WriteDocument(const QString &) {}
