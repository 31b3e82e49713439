#pragma once
// The application object: the application title (the text of the task-bar entry and the caption of the
// standard error report), the help file, the idle event (raised each time the event queue has been emptied),
// the hint event (raised when the hint text changes), message boxes, and the standard error report.

#include "platformerror.h"
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace zv {

class Application : public QObject {
    Q_OBJECT
public:
    explicit Application(QObject *parent = nullptr);
    ~Application() override;
    static Application *instance();

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString helpFile() const { return m_helpFile; }
    void setHelpFile(const QString &file) { m_helpFile = file; }

    // The hint text: the long hint of whatever the mouse is over. Setting a different text raises hintChanged.
    QString hint() const { return m_hint; }
    void setHint(const QString &hint);

    // The window message boxes are owned by (the main window).
    void setMainWindow(QWidget *w) { m_mainWindow = w; }
    QWidget *mainWindow() const { return m_mainWindow; }

    // A message box owned by the main window; flags and results as in dialogs.h.
    int messageBox(const QString &text, const QString &caption, unsigned flags);
    // The standard error report: the text (with "." appended when its last character sorts after "." and
    // is not the Japanese full stop "。"),
    // an OK button, the error icon and the application title as caption.
    void showException(const QString &text);
    static QString reportText(const QString &text);
    // How many standard error reports have been shown: a command that calls others can tell whether one of
    // them ended in an error that was reported on the spot.
    int errorReports() const { return m_errorReports; }

    // Runs the idle handlers now (tests call this instead of waiting for the event loop).
    void runIdle();

signals:
    void idle();
    void hintChanged();

private:
    void onAboutToBlock();
    QString m_title;
    QString m_helpFile;
    QString m_hint;
    QPointer<QWidget> m_mainWindow;
    bool m_inIdle = false;
    int m_errorReports = 0;
};

// Loads Qt's own Japanese texts (message-box buttons, common dialogs) whatever the user's locale.
// Returns false when the translation files are missing.
bool installJapaneseTranslations();

// Runs f; a PlatformError (or any other exception) it throws becomes the standard error report.
// Returns true when f ran to its end.
bool runGuarded(const std::function<void()> &f);

// Wraps a handler for connecting to a signal: the handler's errors never cross the event loop.
template <typename Obj>
auto guarded(Obj *obj, void (Obj::*handler)())
{
    return [obj, handler](auto &&...) { runGuarded([&] { (obj->*handler)(); }); };
}
template <typename F>
auto guarded(F f)
{
    return [f = std::move(f)](auto &&...) { runGuarded(f); };
}

} // namespace zv
