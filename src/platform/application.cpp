#include "application.h"
#include "dialogs.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>
#include <new>

namespace zv {

namespace {
Application *g_app = nullptr;
}

Application::Application(QObject *parent) : QObject(parent)
{
    g_app = this;
    if (auto *dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &Application::onAboutToBlock);
}

Application::~Application()
{
    if (g_app == this)
        g_app = nullptr;
}

Application *Application::instance() { return g_app; }

void Application::setHint(const QString &hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    emit hintChanged();
}

int Application::messageBox(const QString &text, const QString &caption, unsigned flags)
{
    return Dialogs::instance().messageBox(m_mainWindow, text, caption, flags);
}

QString Application::reportText(const QString &text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void Application::showException(const QString &text)
{
    messageBox(reportText(text), m_title, MB_OK | MB_ICONERROR);
}

void Application::runIdle()
{
    if (m_inIdle)
        return;
    m_inIdle = true;
    runGuarded([this] { emit idle(); });
    m_inIdle = false;
}

void Application::onAboutToBlock()
{
    // The queue has been emptied. The idle handlers only read and set state, so nothing they do posts work
    // that would wake the loop again once the states are current.
    runIdle();
}

bool installJapaneseTranslations()
{
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    auto *t = new QTranslator(qApp);
    if (!t->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}

bool runGuarded(const std::function<void()> &f)
{
    try {
        f();
        return true;
    } catch (const PlatformError &e) {
        // Our own errors carry Japanese text written for the user.
        if (auto *app = Application::instance())
            app->showException(e.text());
    } catch (const std::bad_alloc &) {
        if (auto *app = Application::instance())
            app->showException(QStringLiteral("メモリが足りないため、操作を完了できませんでした"));
    } catch (...) {
        // The text of any other exception is the runtime's, in English: the user reads a Japanese report.
        if (auto *app = Application::instance())
            app->showException(QStringLiteral("予期しないエラーのため、操作を完了できませんでした"));
    }
    return false;
}

} // namespace zv
