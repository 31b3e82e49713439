#pragma once
// The main window: the one document window of the program. Its layout and command table are built in
// app/frmMain.cpp; start-up and close in app/lifecycle.cpp; the handlers of each subsystem are defined in
// that subsystem's folder (document/, editor/, options/, pgp/).

#include "pgp/decryptedtext.h"
#include "platform/dialogs.h"
#include "platform/editor.h"
#include "platform/settingstable.h"
#include "platform/textfile.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QToolBar;
class QStatusBar;
class QShortcut;

namespace zv {
class SettingsStore;
class FindDialog;
class HelpViewer;
class PgpLibrary;
} // namespace zv

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window from its design and runs FormCreate. args: the command-line arguments without the
    // program's own name.
    explicit TfrmMain(const QStringList &args = {}, QWidget *parent = nullptr);
    ~TfrmMain() override;

    // ---- components --------------------------------------------------------------------------------
    zv::Editor *Memo = nullptr;
    QToolBar *ToolBar = nullptr;
    QStatusBar *StatusBar = nullptr;
    std::array<QLabel *, 4> Panels{};
    QMenu *MemoPopup = nullptr;
    QMenu *FileMenu = nullptr, *Edit1 = nullptr, *mnuPgp = nullptr, *View = nullptr, *Help1 = nullptr;

    // Main menu items.
    QAction *FileNew = nullptr, *FileOpen = nullptr, *FileSave = nullptr, *FileSaveAs = nullptr,
            *mnuFileSep1 = nullptr, *PrintSetup1 = nullptr, *Print1 = nullptr, *mnuFileSep2 = nullptr,
            *FileExit = nullptr, *mnuFileSep3 = nullptr;
    std::array<QAction *, 4> mnuFileRe{}; // mnuFileRe1 .. mnuFileRe4
    QAction *EditUndo = nullptr, *EditCut = nullptr, *EditCopy = nullptr, *EditPaste = nullptr,
            *EditDelete = nullptr, *EditSelectAll = nullptr, *EditTimeDate = nullptr, *mnuEditFind = nullptr,
            *N3 = nullptr, *EditWordWrap = nullptr;
    QAction *mnuPgpEncrypt = nullptr, *mnuPgpSign = nullptr, *mnuPgpEncryptSign = nullptr,
            *mnuPgpDecrypt = nullptr, *mnuPgpLaunchTools = nullptr, *mnuPgpLaunchKeys = nullptr,
            *mnuPgpPreferences = nullptr, *mnuPgpReencrypt = nullptr;
    QAction *EditRunAd = nullptr, *ViewShellProg = nullptr, *mnuViewSep1 = nullptr, *ViewToolBar = nullptr,
            *ViewStatusBar = nullptr, *ViewOption = nullptr;
    QAction *HelpContents = nullptr, *HelpAbout = nullptr;
    // Pop-up menu items.
    QAction *mnuPopRunAd = nullptr, *PopupUndo = nullptr, *PopupCut = nullptr, *PopupCopy = nullptr,
            *PopupPaste = nullptr, *PopupDelete = nullptr, *PopupSelectAll = nullptr, *PopupDateTime = nullptr;
    // Tool buttons (tbSep5 is the separator in front of tbShell).
    QAction *tbNew = nullptr, *tbOpen = nullptr, *tbSave = nullptr, *tbCut = nullptr, *tbCopy = nullptr,
            *tbPaste = nullptr, *tbDateTime = nullptr, *tbFind = nullptr, *tbWordWrap = nullptr,
            *tbSep5 = nullptr, *tbShell = nullptr, *tbEncrypt = nullptr, *tbSign = nullptr,
            *tbEncryptSign = nullptr, *tbDecrypt = nullptr;

    // The open and save dialogs' settings. SaveDialog.fileName is the document's file name (empty: untitled).
    zv::FileDialogSpec OpenDialog;
    zv::FileDialogSpec SaveDialog;
    zv::FindDialog *cdlFind = nullptr;
    QPrinter &printer();

    // ---- the window's own font: carries the editor font ---------------------------------------------
    zv::FontSpec FFont;

    // ---- start-up and close (app/lifecycle.cpp) ------------------------------------------------------
    void FormCreate();
    void FormShow();
    bool FormCloseQuery(); // returns CanClose
    void FormClose();
    static QString ExpandLongName(const QString &name);
    // Applies the tab stops by the window font and the given tab width.
    void ApplyTabStops(int tabWidth);
    // Advance of one space in the editor's font, in pixels, unrounded.
    qreal SpaceWidth() const;
    // Sets the window and application titles together.
    void SetTitle(const QString &title);

    // ---- documents (document/) ------------------------------------------------------------------------
    void SetFileTitle(const QString &fileName);
    void SetUntitledTitle();
    void SetSavedTitle(const QString &fileName);
    void CheckEmptyUntitled();
    QString InitialFolder() const;
    static QString DesktopFolder();
    static QString TitleName(const QString &fileName);
    void FileOpenClick();
    bool FileOpenByName(const QString &fileName); // true when the file was read; errors propagate
    void mnuFileRe1Click();
    void mnuFileRe2Click();
    void mnuFileRe3Click();
    void mnuFileRe4Click();
    void ReadDocumentFile(const QString &fileName);
    void ApplyLogStamp();
    void FileSaveClick();
    void FileSaveAsClick();
    void FileNewClick();
    void FileExitClick();
    enum class SaveAnswer { GoOn, Stop };
    SaveAnswer AskSaveChanges(bool topmost);
    bool CloseTimeSave(); // false: the window must stay open
    void AddRecentFile(const QString &fileName);
    void AddRecentFileFromTop(const QString &fileName); // the Save As order
    void MoveRecentToTop(int n);
    void FileMenuClick();
    void WMDropFiles(const QStringList &fileNames);
    QString recent(int n) const;        // entry n, 1..4
    void setRecent(int n, const QString &name);
    // document/ private state
    int FLineBreakStyle = 0; // the line-break style the document was read with (see textcodec.h)
    zv::FileStamp FFileStamp; // the document's file as last read or written (see document/documentfile.h)

    // ---- editor (editor/) ---------------------------------------------------------------------------
    void EditWordWrapClick();
    void AppIdle();
    void AppHint();
    void MemoChange();
    void MemoSelectionChange();
    void StatusBarClick();
    void SetModifiedIndicator(bool modified);
    void EditUndoClick();
    void EditCutClick();
    void EditCopyClick();
    void EditPasteClick();
    void EditDeleteClick();
    void EditSelectAllClick();
    void MemoKeyPress(int &key);
    // Typing or a paste met the text limit: the first time the user is told what the limit is.
    void MemoTextLimit();
    void mnuEditFindClick();
    void cdlFindFind();
    void EditTimeDateClick();
    void EditRunAdClick();
    void tbShellClick();
    void PrintSetup1Click();
    void Print1Click();
    void ViewClick();
    void ViewToolBarClick();
    void ViewStatusBarClick();
    void HelpContentsClick();
    void HelpAboutClick();
    void ApplyImeColorsFromStore(zv::SettingsStore &store);
    void ApplyEditorOptions(zv::SettingsStore &store); // selection bar and vertical writing
    // The selection bar and vertical writing from the store, and the word-wrap command's enabled state;
    // returns whether vertical writing is on.
    bool ApplySelBarAndVertical(zv::SettingsStore &store);
    // The editor font as the store keeps it, its style made of exactly the flags that are true.
    static zv::FontSpec ReadStoredFont(zv::SettingsStore &store);
    // The stored font's name, size and colour; its four style flags.
    static void ReadStoredFontFace(zv::SettingsStore &store, zv::FontSpec &font);
    static void ReadStoredFontStyle(zv::SettingsStore &store, zv::FontSpec &font);
    QPointer<zv::HelpViewer> FHelpViewer;

    // ---- options (options/) -------------------------------------------------------------------------
    void ViewOptionClick();

    // ---- PGP (pgp/) ---------------------------------------------------------------------------------
    void mnuPgpEncryptClick();
    void mnuPgpSignClick();
    void mnuPgpEncryptSignClick();
    void mnuPgpDecryptClick();
    bool PgpEncrypt(int encrypt, int sign);
    // PgpEncrypt to the given recipients (empty: the library's chooser), signed with the given key (empty:
    // the library's choice).
    bool PgpEncryptTo(int encrypt, int sign, const QStringList &recipients, const QString &signer);
    // Shows a PGP command's failure message with the library's reason, when one is known.
    void PgpFailed(const QString &message);
    // Encrypting again to the recipients of the message the text was decrypted from (pgp/reencrypt.cpp).
    void mnuPgpReencryptClick();
    bool PgpReencrypt();
    void RememberDecryption();
    void ForgetDecryption();
    bool CanReencrypt() const;
    // The document was read from a file: remembers whether the file held an armoured message.
    void NoteDocumentRead(const QString &fileName, const QString &text);
    // Asked before Save writes decrypted text over the message it came from; false: do not save.
    bool ConfirmSaveDecrypted();
    // Find was used on decrypted text: its find text is not stored at close.
    void NoteFindInDecrypted();
    bool FindTextIsPrivate() const { return FFindInDecrypted; }
    zv::DecryptedText FDecrypted;
    QString FArmouredFile;        // the document's file, when it held an armoured message as read
    bool FFindInDecrypted = false;
    void mnuPgpLaunchToolsClick();
    void mnuPgpLaunchKeysClick();
    void mnuPgpPreferencesClick();
    void mnuPgpClick();
    // The PGP library in use (tests install a recording double).
    static zv::PgpLibrary &pgp();
    static void setPgp(zv::PgpLibrary *library);

    // ---- private fields -----------------------------------------------------------------------------
    bool FEscExit = true;
    bool FAutoIndent = true;
    bool FTabToSpace = false;
    bool FTextLimitTold = false; // the text-limit notice was shown
    int FTabWidth = zv::setting::TabWidth.def;
    QString FDateTimeFormat;
    QString FShellProg;

    // The command-line arguments the window was created with.
    QStringList FArgs;

    void SetFlatToolbar(bool flat);
    bool FlatToolbar() const { return m_flatToolbar; }

    // Runs a menu item's shortcut: the opening handler of its menu, then the command if the item is enabled.
    void DispatchShortcut(QAction *item);

protected:
    void closeEvent(QCloseEvent *e) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    void buildLayout();
    void buildCommands();
    std::unique_ptr<QPrinter> m_printer;
    bool m_flatToolbar = true;
};

// The one main window of the running program (the options dialog reaches it through here).
extern QPointer<TfrmMain> frmMain;
