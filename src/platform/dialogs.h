#pragma once
// The seam between the program and everything modal the desktop shows: message boxes, the common file,
// font, colour and print dialogs, our own modal dialogs, and the desktop's "open" of files and links and
// the start of external programs. The program talks only to Dialogs::instance(); tests install a
// scripted double that answers from a queue and records texts, captions and flags.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

class QWidget;
class QDialog;
class QPrinter;

namespace zv {

// Message box flags and results, as the program's messages name them.
enum MessageFlags : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};
enum MessageResult { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// A file dialog's settings and, after it was confirmed, its answer (fileName, filterIndex).
struct FileDialogSpec {
    QString title;
    QStringList filters;     // "description|patterns" where patterns are separated by ';'
    int filterIndex = 1;     // 1-based
    QString initialDir;
    QString fileName;
    QString defaultExt;      // without dot
    bool overwritePrompt = false;
};

// An editor font as the settings keep it. Colours are 0x00BBGGRR.
struct FontSpec {
    QString name = QStringLiteral("FixedSys");
    int pointSize = 14;
    unsigned color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    bool operator==(const FontSpec &) const = default;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box; flags as above; returns one of MessageResult.
    virtual int messageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) = 0;
    // File dialogs: true when confirmed; spec.fileName and spec.filterIndex then hold the answer.
    virtual bool openFile(QWidget *owner, FileDialogSpec &spec) = 0;
    virtual bool saveFile(QWidget *owner, FileDialogSpec &spec) = 0;
    // Font dialog (name, style, size, underline, strike-out and colour); true when confirmed.
    virtual bool chooseFont(QWidget *owner, FontSpec &font) = 0;
    // Colour dialog, colour as 0x00BBGGRR; true when confirmed.
    virtual bool chooseColor(QWidget *owner, unsigned &color) = 0;
    // Print and printer-setup dialogs on the given printer; true when confirmed.
    virtual bool printDialog(QWidget *owner, QPrinter &printer) = 0;
    virtual bool printerSetup(QWidget *owner, QPrinter &printer) = 0;
    // Runs one of our own modal dialogs (options, about); returns QDialog's result code.
    virtual int execModal(QDialog &dialog) = 0;
    // The desktop's handler for a file or URL; never a shell. The result is the handler's answer.
    virtual bool openUrl(const QUrl &url) = 0;
    // Starts a program detached with its arguments; never through a shell.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;

    static Dialogs &instance();
    // Installs a replacement (tests); returns the previous one. Passing nullptr restores the real dialogs.
    static Dialogs *install(Dialogs *dialogs);
};

// The real dialogs of the desktop.
class DesktopDialogs : public Dialogs {
public:
    int messageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) override;
    bool openFile(QWidget *owner, FileDialogSpec &spec) override;
    bool saveFile(QWidget *owner, FileDialogSpec &spec) override;
    bool chooseFont(QWidget *owner, FontSpec &font) override;
    bool chooseColor(QWidget *owner, unsigned &color) override;
    bool printDialog(QWidget *owner, QPrinter &printer) override;
    bool printerSetup(QWidget *owner, QPrinter &printer) override;
    int execModal(QDialog &dialog) override;
    bool openUrl(const QUrl &url) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;
};

} // namespace zv
