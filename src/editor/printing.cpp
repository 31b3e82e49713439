// Printer setup and printing of the whole text.

#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/platformerror.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>

namespace {
// The output file that printing to a file proposes: the document's name with ".pdf" for its extension, in
// its folder, or "無題.pdf" in the current folder for an untitled document; never the document itself.
QString proposedPrintFile(const QString &document)
{
    if (document.isEmpty())
        return QDir::current().absoluteFilePath(QStringLiteral("無題.pdf"));
    const QFileInfo info(document);
    const QString base = info.suffix().isEmpty() || info.completeBaseName().isEmpty() ? info.fileName()
                                                                                      : info.completeBaseName();
    QString name = info.absoluteDir().absoluteFilePath(base + QStringLiteral(".pdf"));
    if (name == info.absoluteFilePath())
        name += QStringLiteral(".pdf");
    return name;
}

// Shows the wait cursor for as long as it lives.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};
} // namespace

void TfrmMain::PrintSetup1Click()
{
    // What is chosen there serves the next print; the answer itself does not matter.
    zv::Dialogs::instance().printerSetup(this, printer());
}

void TfrmMain::Print1Click()
{
    QPrinter &p = printer();
    // Named before the dialog, and printing to a file offers a file after the document being printed,
    // every time: not the file of the previous print.
    p.setDocName(windowTitle());
    if (p.outputFormat() == QPrinter::PdfFormat)
        p.setOutputFileName(proposedPrintFile(SaveDialog.fileName));
    if (!zv::Dialogs::instance().printDialog(this, p))
        return;
    {
        WaitCursor wait;
        Memo->print(p, windowTitle());
    }
    if (p.printerState() == QPrinter::Error) {
        const QString where = p.outputFormat() == QPrinter::PdfFormat && !p.outputFileName().isEmpty()
                                  ? p.outputFileName()
                                  : p.printerName();
        throw zv::PlatformError(where.isEmpty() ? QStringLiteral("印刷できませんでした")
                                                : QStringLiteral("%1 に印刷できませんでした").arg(where));
    }
}
