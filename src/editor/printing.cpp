// Printer setup and printing of the whole text.

#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "platform/platformerror.h"

#include <QGuiApplication>
#include <QPrinter>

namespace {
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
    // Named before the dialog, so that printing to a file offers a name after the document.
    p.setDocName(windowTitle());
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
