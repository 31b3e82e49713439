// Saving files, New, Exit and the save prompt that guards every operation that would replace or leave a
// modified document.

#include "app/frmMain.h"
#include "document/documentfile.h"
#include "document/documentio.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/platformerror.h"
#include "platform/textfile.h"

#include <QLabel>

using namespace zv;

namespace {

const QString kPrompt = QStringLiteral("ファイルの内容が変更されています。保存しますか?");
const QString kCaption = QStringLiteral("Zuvelo PGP");

// How a character is named in a message: the character itself (when it can be shown) and its code.
QString describeCharacter(char32_t c)
{
    const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    const bool showable = !(c >= 0xD800 && c <= 0xDFFF) && c >= 0x20 && !(c >= 0x7F && c < 0xA0);
    if (!showable)
        return QStringLiteral("(%1)").arg(code);
    return QStringLiteral("「%1」(%2)").arg(QString::fromUcs4(&c, 1), code);
}

// The document's text as the file's bytes, in the line-break style it was read with. A character that the
// document's encoding does not have is never replaced: it is selected, and the save stops with an error
// naming it and where it stands.
QByteArray encodeDocument(TfrmMain &w)
{
    EncodeResult r = encodeCp932(w.Memo->plainText(), LineBreakStyle(w.FLineBreakStyle));
    if (r.ok)
        return std::move(r.bytes);
    // Positions in the whole text are the editor's positions (a line break counts as one).
    const int pos = int(r.errorPosition);
    w.Memo->setSelStart(pos);
    w.Memo->setSelLength(r.errorCharacter > 0xFFFF ? 2 : 1);
    const int line = w.Memo->lineFromChar(pos);
    const int column = pos - w.Memo->lineIndex(line);
    // Ends with the position, so that the error report adds no full stop of its own.
    throw PlatformError(QStringLiteral("%1 は Shift-JIS (CP932) で保存できない文字です。保存を中止しました。(%2行、%3列)")
                            .arg(describeCharacter(r.errorCharacter))
                            .arg(line + 1)
                            .arg(column + 1));
}

// The close-time save's dialog: the document's folder (the desktop for an untitled document).
bool chooseSaveName(TfrmMain &w)
{
    w.SaveDialog.initialDir = w.InitialFolder();
    return Dialogs::instance().saveFile(&w, w.SaveDialog);
}

} // namespace

void TfrmMain::FileSaveClick()
{
    if (SaveDialog.fileName.isEmpty() || Memo->tag() == 1) {
        FileSaveAsClick();
        return;
    }
    // Decrypted text over the message it came from: the user decides first (it may be encrypted again).
    if (!ConfirmSaveDecrypted())
        return;
    const QByteArray bytes = encodeDocument(*this);
    switch (document::askBeforeOverwrite(*this, SaveDialog.fileName)) {
    case document::Overwrite::Yes: break;
    case document::Overwrite::Elsewhere: FileSaveAsClick(); return;
    case document::Overwrite::Cancel: return;
    }
    document::WaitCursor wait;
    FFileStamp = saveDocumentFile(SaveDialog.fileName, bytes);
    Memo->setModified(false);
    Panels[2]->clear();
}

void TfrmMain::FileSaveAsClick()
{
    // A text that cannot be written is told before a name is asked for, and the document keeps its name.
    const QByteArray bytes = encodeDocument(*this);
    if (!chooseSaveName(*this))
        return;
    // The confirmed name is the document's file name from here on, also if the write fails: a following
    // Save tries that name again.
    const QString name = SaveDialog.fileName;
    document::WaitCursor wait;
    FFileStamp = saveDocumentFile(name, bytes);
    Memo->setModified(false);
    Panels[2]->clear();
    SetSavedTitle(name);
    AddRecentFileFromTop(name);
}

TfrmMain::SaveAnswer TfrmMain::AskSaveChanges(bool topmost)
{
    if (!Memo->modified())
        return SaveAnswer::GoOn;
    const unsigned flags = MB_YESNOCANCEL | MB_ICONEXCLAMATION | (topmost ? MB_TOPMOST : 0u);
    switch (Application::instance()->messageBox(kPrompt, kCaption, flags)) {
    case IDYES:
        // The user wants the text kept: whatever did not get saved (the Save As dialog cancelled, the
        // write failed and was reported) stops the operation that asked, so nothing unsaved is replaced. Only a
        // save that wrote the file clears the modified flag.
        if (!runGuarded([this] { FileSaveClick(); }) || Memo->modified())
            return SaveAnswer::Stop;
        return SaveAnswer::GoOn;
    case IDNO:
        return SaveAnswer::GoOn;
    default:
        return SaveAnswer::Stop;
    }
}

bool TfrmMain::CloseTimeSave()
{
    // No wait cursor, no title and no recent-list change: a file first saved while the window closes does
    // not enter the stored list. A write error propagates and keeps the window open.
    // Decrypted text over the message it came from: the user decides first, as for Save.
    if (!SaveDialog.fileName.isEmpty() && Memo->tag() != 1 && !ConfirmSaveDecrypted())
        return false;
    const QByteArray bytes = encodeDocument(*this);
    bool askName = SaveDialog.fileName.isEmpty() || Memo->tag() == 1;
    if (!askName) {
        switch (document::askBeforeOverwrite(*this, SaveDialog.fileName)) {
        case document::Overwrite::Yes: break;
        case document::Overwrite::Elsewhere: askName = true; break;
        case document::Overwrite::Cancel: return false;
        }
    }
    if (askName && !chooseSaveName(*this))
        return false;
    FFileStamp = saveDocumentFile(SaveDialog.fileName, bytes);
    Memo->setModified(false);
    return true;
}

void TfrmMain::FileNewClick()
{
    CheckEmptyUntitled();
    if (AskSaveChanges(false) == SaveAnswer::Stop)
        return;
    if (!Memo->isEmpty())
        Memo->clearAll();
    NoteDocumentRead(QString(), QString()); // a new document remembers no message
    SetUntitledTitle();
    FLineBreakStyle = int(LineBreakStyle::CrLf);
    FFileStamp = {};
    Panels[1]->setText(QStringLiteral("1行、1列"));
    Panels[2]->clear();
}

void TfrmMain::FileExitClick()
{
    // The close runs the close query with its own prompt and close-time save.
    close();
}
