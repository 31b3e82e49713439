#pragma once
// The test double of the dialog seam: every message box and dialog the program shows must have been
// expected, in order, with its answer. It records texts, captions and flags, and fails the running test on
// any prompt it was not told to expect.

#include "platform/dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <optional>

class ScriptedDialogs : public zv::Dialogs {
public:
    enum class Kind { Message, Open, Save, Font, Color, Print, PrintSetup, Modal };

    struct Message {
        QString text;
        QString caption;
        unsigned flags = 0;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Expectations, answered in order.
    void expectMessage(int answer);
    void expectOpen(const std::optional<QString> &fileName); // nullopt: cancelled
    void expectSave(const std::optional<QString> &fileName);
    void expectFont(const std::optional<zv::FontSpec> &font);
    void expectColor(const std::optional<unsigned> &color);
    // outputFile: the file the user types into the dialog (printing to a file) before answering.
    void expectPrint(bool confirm, const std::optional<QString> &outputFile = std::nullopt);
    void expectPrintSetup(bool confirm);
    // The callback gets the dialog while it would be shown and returns its result code.
    void expectModal(std::function<int(QDialog &)> run);
    bool allUsed() const { return m_queue.empty(); }
    int pending() const { return int(m_queue.size()); }

    // What was shown.
    QList<Message> messages;
    QList<zv::FileDialogSpec> fileDialogs;
    QList<QUrl> openedUrls;
    QStringList printFiles; // the output file each print dialog proposed when it was shown
    QList<QPair<QString, QStringList>> started;
    bool openUrlResult = true;
    bool startResult = true;

    int messageBox(QWidget *owner, const QString &text, const QString &caption, unsigned flags) override;
    bool openFile(QWidget *owner, zv::FileDialogSpec &spec) override;
    bool saveFile(QWidget *owner, zv::FileDialogSpec &spec) override;
    bool chooseFont(QWidget *owner, zv::FontSpec &font) override;
    bool chooseColor(QWidget *owner, unsigned &color) override;
    bool printDialog(QWidget *owner, QPrinter &printer) override;
    bool printerSetup(QWidget *owner, QPrinter &printer) override;
    int execModal(QDialog &dialog) override;
    bool openUrl(const QUrl &url) override;
    bool startDetached(const QString &program, const QStringList &arguments) override;

private:
    struct Expectation {
        Kind kind;
        int answer = 0;
        std::optional<QString> fileName;
        std::optional<zv::FontSpec> font;
        std::optional<unsigned> color;
        std::function<int(QDialog &)> modal;
    };
    std::optional<Expectation> take(Kind kind, const QString &what);
    std::deque<Expectation> m_queue;
    zv::Dialogs *m_previous = nullptr;
};
