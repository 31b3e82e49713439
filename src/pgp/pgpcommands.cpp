// PGP commands and the PGP menu. (Not built yet.)
#include "app/frmMain.h"

void TfrmMain::mnuPgpEncryptClick() {}
void TfrmMain::mnuPgpSignClick() {}
void TfrmMain::mnuPgpEncryptSignClick() {}
void TfrmMain::mnuPgpDecryptClick() {}
bool TfrmMain::PgpEncrypt(int, int) { return false; }
void TfrmMain::mnuPgpLaunchToolsClick() {}
void TfrmMain::mnuPgpLaunchKeysClick() {}
void TfrmMain::mnuPgpPreferencesClick() {}
void TfrmMain::mnuPgpClick() {}
