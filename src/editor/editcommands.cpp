// The Edit menu's basic commands and the typing aids (Esc to quit, automatic indentation, Tab as spaces).

#include "app/frmMain.h"
#include "platform/application.h"

#include <QApplication>
#include <QClipboard>

namespace {

// The clipboard holds plain text with the desktop's line breaks ('\n'); the editor hands out CR LF.
QString clipboardForm(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

} // namespace

void TfrmMain::EditUndoClick() { Memo->undoEdit(); }

void TfrmMain::EditCutClick()
{
    QApplication::clipboard()->setText(clipboardForm(Memo->selText()));
    Memo->replaceSelection(QString());
}

void TfrmMain::EditCopyClick() { QApplication::clipboard()->setText(clipboardForm(Memo->selText())); }

void TfrmMain::EditPasteClick()
{
    // A clipboard without text gives the empty text, which deletes the selection.
    Memo->replaceSelection(QApplication::clipboard()->text());
}

void TfrmMain::EditDeleteClick() { Memo->clearSelection(); }

void TfrmMain::EditSelectAllClick() { Memo->selectAllText(); }

void TfrmMain::MemoTextLimit()
{
    // The beep comes every time; the notice once, so that typing on at the limit is not a run of boxes.
    if (FTextLimitTold)
        return;
    FTextLimitTold = true;
    zv::Application::instance()->messageBox(
        QStringLiteral("テキストの長さは 4,194,303 文字までです。\nそれを超える入力はできません。"
                       "貼り付けは、入りきる行までを貼り付けます。"),
        QStringLiteral("Zuvelo PGP"), zv::MB_OK | zv::MB_ICONEXCLAMATION);
}

void TfrmMain::MemoKeyPress(int &key)
{
    // Each check sees the key as the one before it left it.
    if (FEscExit && key == 27)
        close(); // through the close query and its save prompt; the key itself goes on unchanged

    if (FAutoIndent && key == 13) {
        Memo->insertIndentedLineBreak(); // one undo takes back the line break with its indentation
        key = 0;
    }

    if (FTabToSpace && key == 9) {
        Memo->replaceSelection(QString(std::max(FTabWidth, 0), QLatin1Char(' ')));
        key = 0;
    }
}
