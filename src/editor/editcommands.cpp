// The Edit menu's basic commands and the typing aids (Esc to quit, automatic indentation, Tab as spaces).

#include "app/frmMain.h"

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

void TfrmMain::MemoKeyPress(int &key)
{
    // Each check sees the key as the one before it left it.
    if (FEscExit && key == 27)
        close(); // through the close query and its save prompt; the key itself goes on unchanged

    if (FAutoIndent && key == 13) {
        // The indentation of the display line holding the selection start, up to the caret's column.
        const int start = Memo->selStart();
        const int line = Memo->lineFromChar(start);
        const int column = start - Memo->lineIndex(line);
        const QString text = Memo->lineText(line);
        int lead = 0;
        while (lead < text.size() && text.at(lead).unicode() <= 32) // a full-width space ends the run
            ++lead;
        lead = std::min(lead, column);
        // One edit, so that one undo takes back the line break together with its indentation.
        Memo->replaceSelection(QLatin1Char('\n') + text.left(lead));
        key = 0;
    }

    if (FTabToSpace && key == 9) {
        Memo->replaceSelection(QString(std::max(FTabWidth, 0), QLatin1Char(' ')));
        key = 0;
    }
}
