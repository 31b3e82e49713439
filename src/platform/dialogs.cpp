#include "dialogs.h"
#include "colors.h"
#include "monospacefont.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>

namespace zv {

namespace {
DesktopDialogs g_desktop;
Dialogs *g_current = &g_desktop;

// "description|*.a;*.b" -> a Qt name filter that shows the description as it is and matches the patterns.
QString qtFilter(const QString &entry)
{
    const QString desc = entry.section(QLatin1Char('|'), 0, 0);
    QString patterns = entry.section(QLatin1Char('|'), 1);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return desc + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

bool runFileDialog(QWidget *owner, FileDialogSpec &spec, bool save)
{
    QFileDialog dlg(owner, spec.title, spec.initialDir);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::AnyFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !spec.overwritePrompt);
    QStringList filters;
    for (const QString &f : spec.filters)
        filters << qtFilter(f);
    dlg.setNameFilters(filters);
    if (spec.filterIndex >= 1 && spec.filterIndex <= filters.size())
        dlg.selectNameFilter(filters.at(spec.filterIndex - 1));
    if (!spec.defaultExt.isEmpty())
        dlg.setDefaultSuffix(spec.defaultExt);
    if (!spec.fileName.isEmpty())
        dlg.selectFile(spec.fileName);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    spec.fileName = dlg.selectedFiles().constFirst();
    spec.filterIndex = int(filters.indexOf(dlg.selectedNameFilter())) + 1;
    if (spec.filterIndex < 1)
        spec.filterIndex = 1;
    return true;
}
} // namespace

Dialogs &Dialogs::instance() { return *g_current; }

Dialogs *Dialogs::install(Dialogs *dialogs)
{
    Dialogs *previous = g_current;
    g_current = dialogs ? dialogs : &g_desktop;
    return previous;
}

int DesktopDialogs::messageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags)
{
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (flags & 0x0F) {
    case MB_YESNOCANCEL:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    if (flags & MB_TOPMOST)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (flags & 0x0F) == MB_OK ? IDOK : IDCANCEL;
    }
}

bool DesktopDialogs::openFile(QWidget *owner, FileDialogSpec &spec) { return runFileDialog(owner, spec, false); }
bool DesktopDialogs::saveFile(QWidget *owner, FileDialogSpec &spec) { return runFileDialog(owner, spec, true); }

bool DesktopDialogs::chooseFont(QWidget *owner, FontSpec &font)
{
    // The dialog starts on the face the editor shows: the default "FixedSys" as the Japanese monospace face.
    QFont initial(shownFontFamily(font.name), font.pointSize > 0 ? font.pointSize : 10);
    initial.setBold(font.bold);
    initial.setItalic(font.italic);
    initial.setUnderline(font.underline);
    initial.setStrikeOut(font.strikeOut);

    // The font dialog with a colour choice of its own: name, style, size, underline, strike-out and colour.
    QDialog dlg(owner);
    dlg.setWindowTitle(QStringLiteral("フォント"));
    auto *layout = new QVBoxLayout(&dlg);
    auto *fonts = new QFontDialog(initial, &dlg);
    fonts->setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::NoButtons);
    fonts->setWindowFlags(Qt::Widget);
    layout->addWidget(fonts);
    unsigned color = font.color;
    auto *row = new QHBoxLayout;
    auto *swatch = new QLabel(&dlg);
    swatch->setFixedSize(40, 20);
    swatch->setFrameShape(QFrame::Panel);
    swatch->setFrameShadow(QFrame::Sunken);
    swatch->setAutoFillBackground(true);
    auto showColor = [swatch, &color] {
        QPalette pal = swatch->palette();
        pal.setColor(QPalette::Window, toQColor(color));
        swatch->setPalette(pal);
    };
    showColor();
    auto *pick = new QPushButton(QStringLiteral("色(&C)..."), &dlg);
    QObject::connect(pick, &QPushButton::clicked, &dlg, [&] {
        const QColor c = QColorDialog::getColor(toQColor(color), &dlg, QStringLiteral("色の設定"),
                                                QColorDialog::DontUseNativeDialog);
        if (c.isValid()) {
            color = fromQColor(c);
            showColor();
        }
    });
    row->addWidget(new QLabel(QStringLiteral("色:"), &dlg));
    row->addWidget(swatch);
    row->addWidget(pick);
    row->addStretch();
    layout->addLayout(row);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const QFont chosen = fonts->currentFont();
    font.name = chosen.family();
    font.pointSize = chosen.pointSize() > 0 ? chosen.pointSize() : font.pointSize;
    font.color = color;
    font.bold = chosen.bold();
    font.italic = chosen.italic();
    font.underline = chosen.underline();
    font.strikeOut = chosen.strikeOut();
    return true;
}

bool DesktopDialogs::chooseColor(QWidget *owner, unsigned &color)
{
    const QColor c = QColorDialog::getColor(toQColor(color), owner, QStringLiteral("色の設定"),
                                            QColorDialog::DontUseNativeDialog);
    if (!c.isValid())
        return false;
    color = fromQColor(c);
    return true;
}

bool DesktopDialogs::printDialog(QWidget *owner, QPrinter &printer)
{
    QPrintDialog dlg(&printer, owner);
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
    return dlg.exec() == QDialog::Accepted;
}

bool DesktopDialogs::printerSetup(QWidget *owner, QPrinter &printer)
{
    QPageSetupDialog dlg(&printer, owner);
    return dlg.exec() == QDialog::Accepted;
}

int DesktopDialogs::execModal(QDialog &dialog) { return dialog.exec(); }

bool DesktopDialogs::openUrl(const QUrl &url) { return QDesktopServices::openUrl(url); }

bool DesktopDialogs::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace zv
