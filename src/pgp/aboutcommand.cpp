// Help > About: a new About dialog for each use, owned by the main window, destroyed when it closes.

#include "app/frmMain.h"
#include "pgp/frmAbout.h"
#include "platform/dialogs.h"

#include <memory>

void TfrmMain::HelpAboutClick()
{
    const auto dialog = std::make_unique<TfrmAbout>(this);
    zv::Dialogs::instance().execModal(*dialog);
}
