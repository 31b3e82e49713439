#include "dialogs.h"
#include "colors.h"
#include "filenames.h"
#include "monospacefont.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
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
// "*.*" means every file, also one without a dot in its name, as it does on the systems the filters come
// from.
QString qtFilter(const QString &entry)
{
    const QString desc = entry.section(QLatin1Char('|'), 0, 0);
    QStringList patterns = entry.section(QLatin1Char('|'), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &p : patterns)
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
    return desc + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('['));
}

// The file dialog with the rules of the program's Open and Save As:
// - the default extension goes only to a typed name that has no dot and names no existing file or folder;
// - choosing a filter never rewrites the typed name;
// - a typed pattern ("*", "*.log") that names no file lists the folder by that pattern instead of being
//   taken as a name;
// - the filter chosen is read from the list itself (its index), not matched back from the shown text.
class ProgramFileDialog : public QFileDialog {
public:
    ProgramFileDialog(QWidget *owner, const FileDialogSpec &spec, bool save)
        : QFileDialog(owner, spec.title, spec.initialDir), m_defaultExt(spec.defaultExt)
    {
        setOption(QFileDialog::DontUseNativeDialog, true);
        setOption(QFileDialog::HideNameFilterDetails, true);
        setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontConfirmOverwrite, !spec.overwritePrompt);
        QStringList filters;
        for (const QString &f : spec.filters)
            filters << qtFilter(f);
        setNameFilters(filters);
        m_nameEdit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        m_types = findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        if (spec.filterIndex >= 1 && spec.filterIndex <= filters.size()) {
            selectNameFilter(filters.at(spec.filterIndex - 1));
            if (m_types && m_types->currentIndex() != spec.filterIndex - 1) {
                // The shown text did not find its entry: choose it by its place, as the user would.
                m_types->setCurrentIndex(spec.filterIndex - 1);
                emit m_types->activated(spec.filterIndex - 1);
            }
        }
        if (!spec.fileName.isEmpty())
            selectFile(spec.fileName);
        if (m_types && m_nameEdit) {
            // The dialog's own handler of a chosen filter gives the typed name the filter's extension
            // ("bfile.txt" becomes "bfile.*"); the name is put back as it was typed. The index changes
            // before that handler runs, the activation comes after it.
            connect(m_types, &QComboBox::currentIndexChanged, this, [this] { m_typed = m_nameEdit->text(); });
            connect(m_types, &QComboBox::activated, this, [this] {
                if (m_nameEdit->text() != m_typed)
                    m_nameEdit->setText(m_typed);
            });
        }
    }

    int chosenFilter() const { return m_types ? m_types->currentIndex() + 1 : 1; }

    void accept() override
    {
        if (!m_nameEdit) {
            QFileDialog::accept();
            return;
        }
        const QString typed = m_nameEdit->text();
        if (typed.isEmpty() || typed == QLatin1String("..") || typed.startsWith(QLatin1Char('~'))) {
            QFileDialog::accept();
            return;
        }
        const QString path = QDir(directory()).absoluteFilePath(typed);
        const QFileInfo info(path);
        if (info.exists()) {
            take(typed); // a file is taken as it is; a folder is entered
            return;
        }
        // A name that is not UTF-8 (the document's own name, pre-filled, or one the dialog decoded with
        // replacement characters): the dialog cannot see that it exists, so its question before replacing
        // it is asked here.
        const QString onDisk = recoverDecodedFileName(info.absoluteFilePath());
        if (hasForeignBytes(onDisk) && isExistingFile(onDisk)) {
            if (acceptMode() == AcceptSave && !testOption(DontConfirmOverwrite)) {
                const auto answer = QMessageBox::warning(
                    this, windowTitle(),
                    QFileDialog::tr("%1 already exists.\nDo you want to replace it?").arg(info.fileName()),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
                if (answer != QMessageBox::Yes)
                    return;
            }
            QDialog::accept();
            return;
        }
        if (hasWildcard(info.fileName())) {
            if (auto *model = findChild<QFileSystemModel *>()) {
                model->setNameFilters({info.fileName()});
                model->setNameFilterDisables(false);
            }
            return;
        }
        if (!m_defaultExt.isEmpty() && !info.fileName().contains(QLatin1Char('.')))
            take(typed + QLatin1Char('.') + m_defaultExt);
        else
            take(typed);
    }

private:
    // Accepts the name as the line shows it; a row still selected in the list does not override it.
    void take(const QString &name)
    {
        if (auto *list = findChild<QListView *>(QStringLiteral("listView")))
            list->selectionModel()->clear();
        if (m_nameEdit->text() != name)
            m_nameEdit->setText(name);
        QFileDialog::accept();
    }

    QString m_defaultExt;
    QLineEdit *m_nameEdit = nullptr;
    QComboBox *m_types = nullptr;
    QString m_typed;
};

bool runFileDialog(QWidget *owner, FileDialogSpec &spec, bool save)
{
    ProgramFileDialog dlg(owner, spec, save);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    // The dialog reads folders with replacement characters where a name is not UTF-8; the name on disk is
    // looked up again so that such a file can be opened and saved back under its own bytes.
    spec.fileName = recoverDecodedFileName(dlg.selectedFiles().constFirst());
    spec.filterIndex = dlg.chosenFilter();
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
