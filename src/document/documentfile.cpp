#include "document/documentfile.h"

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/atomicfile.h"
#include "platform/dialogs.h"
#include "platform/filenames.h"
#include "platform/platformerror.h"
#include "platform/textfile.h"

#include <QGuiApplication>

namespace zv::document {

namespace {

const QString kCaption = QStringLiteral("Zuvelo PGP");

// The normal cursor while a question is shown in the middle of a command that shows the wait cursor.
class NormalCursor {
public:
    NormalCursor() : m_active(QGuiApplication::overrideCursor() != nullptr)
    {
        if (m_active)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~NormalCursor()
    {
        if (m_active)
            QGuiApplication::restoreOverrideCursor();
    }
    NormalCursor(const NormalCursor &) = delete;
    NormalCursor &operator=(const NormalCursor &) = delete;

private:
    bool m_active;
};

int ask(const QString &text, unsigned flags)
{
    const NormalCursor cursor;
    return Application::instance()->messageBox(text, kCaption, flags);
}

// A save that rewrote the file in place and was killed before it finished left a record with the text
// before it and the text it was writing: the user chooses which the file keeps, and the record goes.
void offerInterruptedSave(const QString &fileName)
{
    auto unfinished = InterruptedWrite::find(nativeFileName(fileName));
    if (!unfinished)
        return;
    const int answer = ask(QStringLiteral("ファイル %1 の前回の保存は、書き込みの途中で中断されました。\n"
                                          "保存する前の内容に戻しますか?\n\n"
                                          "「はい」: 保存する前の内容に戻します。\n"
                                          "「いいえ」: 保存しようとした内容で保存を終えます。")
                               .arg(fileName),
                           MB_YESNO | MB_ICONEXCLAMATION);
    // A file that cannot be written now is reported and opened as it is; the next opening asks again.
    runGuarded([&] {
        try {
            unfinished->finish(answer == IDYES);
        } catch (const FileWriteError &e) {
            throw PlatformError(saveErrorText(fileName, e.error));
        }
    });
}

} // namespace

DecodedText readDocument(TfrmMain &w, const QString &fileName)
{
    offerInterruptedSave(fileName);
    FileStamp stamp;
    DecodedText doc = readDocumentFile(fileName, &stamp);
    w.FFileStamp = std::move(stamp);
    return doc;
}

Overwrite askBeforeOverwrite(TfrmMain &w, const QString &fileName)
{
    if (w.FFileStamp.path.isEmpty() || w.FFileStamp.path != fileName)
        return Overwrite::Yes; // a file the document was never read from or written to
    QString what;
    switch (compareWithFile(fileName, w.FFileStamp)) {
    case FileChange::Unchanged:
        return Overwrite::Yes;
    case FileChange::Changed:
        what = QStringLiteral("ファイル %1 は、読み込んだ後にほかのプログラムによって変更されています。\n"
                              "上書きしますか?\n\n"
                              "「はい」: ほかのプログラムの変更を捨てて上書きします。\n");
        break;
    case FileChange::Gone:
        what = QStringLiteral("ファイル %1 は、読み込んだ後に削除されたか、名前が変えられています。\n"
                              "この名前で保存しますか?\n\n"
                              "「はい」: この名前でファイルを作り直します。\n");
        break;
    }
    const int answer = ask(what.arg(fileName) + QStringLiteral("「いいえ」: 別の名前で保存します。\n"
                                                               "「キャンセル」: 保存しません。"),
                           MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    switch (answer) {
    case IDYES:
        return Overwrite::Yes;
    case IDNO:
        return Overwrite::Elsewhere;
    default:
        return Overwrite::Cancel;
    }
}

} // namespace zv::document
