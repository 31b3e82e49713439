// The Options command: runs the options dialog and brings the main window into line with its result.

#include "app/frmMain.h"
#include "options/frmOption.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>

using namespace zv;

void TfrmMain::ViewOptionClick()
{
    // 1. The command never changes the document's modified state.
    const bool modified = Memo->modified();

    // 2. The dialog reads its own part of the settings while it is created.
    auto dlg = std::make_unique<TfrmOption>(this);

    // 3. Where the program browser starts.
    dlg->OpenExe.initialDir = DesktopFolder();

    // 4. The values the window keeps in memory.
    dlg->tmpDateTime->setText(FDateTimeFormat);
    dlg->lblTmpShellProg->setText(FShellProg);

    // 5. The rest of the dialog from the settings.
    {
        SettingsStore store;
        FontSpec font = dlg->lblPreview->editorFont();
        ReadStoredFontFace(store, font);
        dlg->lblPreview->setEditorFont(font);
        if (store.read(setting::ImeMode))
            dlg->radJapanese->setChecked(true);
        dlg->lblPreview->setBackgroundColor(unsigned(store.read(setting::BackColor)));
        dlg->chkEscExit->setChecked(store.read(setting::EscExit));
        dlg->chkFlatToolbar->setChecked(store.read(setting::FlatToolbar));
        dlg->chkAutoIndent->setChecked(store.read(setting::AutoIndent));
        dlg->chkTabToSpace->setChecked(store.read(setting::TabToSpace));
        dlg->txtDateTime->setEditText(store.read(setting::DateTime));
        dlg->txtShellProg->setText(store.read(setting::ShellProg));
    }

    // 6. After OK the dialog has stored its settings and applied the editor font and background.
    const bool ok = Dialogs::instance().execModal(*dlg) == QDialog::Accepted && dlg->OKPressed();

    // 7. The in-memory values; the four switches only after OK.
    FShellProg = dlg->lblTmpShellProg->text();
    FDateTimeFormat = dlg->DateTimeFormat();
    if (ok) {
        FEscExit = dlg->chkEscExit->isChecked();
        SetFlatToolbar(dlg->chkFlatToolbar->isChecked());
        FAutoIndent = dlg->chkAutoIndent->isChecked();
        FTabToSpace = dlg->chkTabToSpace->isChecked();
    }

    // 8-12. What the dialog stored, read back however it was closed (a fresh view sees what OK wrote).
    {
        SettingsStore store;
        // 8, 9. Selection bar and vertical writing, the editor drawn once.
        ApplyEditorOptions(store);
        // 10, 11.
        FTabWidth = store.read(setting::TabWidth);
        ApplyTabStops(FTabWidth);
        // 12. The stored composition colours, also over the built-in ones vertical writing put back.
        Memo->setFocus();
        ApplyImeColorsFromStore(store);
    }

    // 13.
    dlg.reset();

    // 14, 15.
    Memo->setModified(modified);
    SetModifiedIndicator(modified);
    StatusBar->update();
}
