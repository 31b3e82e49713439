#include "inputmethodstate.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

namespace zv {

namespace {

const QString kFcitxService = QStringLiteral("org.fcitx.Fcitx5");
const QString kFcitxController = QStringLiteral("/controller");
const QString kFcitxControllerInterface = QStringLiteral("org.fcitx.Fcitx.Controller1");
const QString kIBusService = QStringLiteral("org.freedesktop.IBus");
const QString kIBusPath = QStringLiteral("/org/freedesktop/IBus");
const QString kIBusInputContext = QStringLiteral("org.freedesktop.IBus.InputContext");
const QString kIBusConnection = QStringLiteral("zv-ibus-state");

constexpr int kPollMs = 50;
// How long a request waits for the window to be shown and focused and for the framework to know its
// input context; after that the state is left as the framework has it.
constexpr int kGiveUpMs = 15000;

// The program name the Qt front ends of the frameworks report for this process.
QString programName() { return QFileInfo(QCoreApplication::applicationFilePath()).fileName(); }

// The address of ibus's own bus: IBUS_ADDRESS, else the file ibus writes for the display,
// $XDG_CONFIG_HOME/ibus/bus/<machine id>-<host or "unix">-<display number>.
QString ibusAddress()
{
    const QString env = qEnvironmentVariable("IBUS_ADDRESS");
    if (!env.isEmpty())
        return env;
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral(":0");
    const int colon = int(display.lastIndexOf(QLatin1Char(':')));
    QString host = colon > 0 ? display.left(colon) : QString();
    if (host.isEmpty())
        host = QStringLiteral("unix");
    QString number = display.mid(colon + 1);
    number = number.section(QLatin1Char('.'), 0, 0);
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    QFile file(config + QStringLiteral("/ibus/bus/") + QString::fromLatin1(QDBusConnection::localMachineId())
               + QLatin1Char('-') + host + QLatin1Char('-') + number);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith("IBUS_ADDRESS="))
            return QString::fromUtf8(line.mid(13));
    }
    return {};
}

// The engine name inside the IBusEngineDesc that ibus returns as a variant: a structure of the type name,
// the attachments and then the name.
QString engineNameOf(const QVariant &desc)
{
    QVariant v = desc;
    if (v.canConvert<QDBusVariant>())
        v = qvariant_cast<QDBusVariant>(v).variant();
    if (!v.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(v);
    if (arg.currentType() != QDBusArgument::StructureType)
        return {};
    QString type, name;
    QVariantMap attachments;
    arg.beginStructure();
    arg >> type >> attachments >> name;
    return name;
}

// One pending request. It lives as a child of the widget, polls until the widget's window is active and
// the widget has the focus, then asks the framework, and deletes itself when done or given up.
class StateRequest : public QObject {
public:
    StateRequest(QWidget *widget, InputMethodFramework framework, bool open)
        : QObject(widget), m_widget(widget), m_framework(framework), m_open(open),
          m_deadline(kGiveUpMs)
    {
        connect(&m_timer, &QTimer::timeout, this, &StateRequest::poll);
        m_timer.start(kPollMs);
    }

private:
    void finish()
    {
        m_timer.stop();
        deleteLater();
    }

    void poll()
    {
        if (m_busy)
            return;
        if (m_deadline.hasExpired() || !m_widget) {
            finish();
            return;
        }
        if (!m_widget->isVisible() || !m_widget->window()->isActiveWindow() || !m_widget->hasFocus())
            return;
        if (m_framework == InputMethodFramework::Fcitx5)
            pollFcitx();
        else
            pollIBus();
    }

    void call(QDBusConnection bus, const QDBusMessage &msg, std::function<void(const QDBusMessage &)> done)
    {
        m_busy = true;
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(msg), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, done] {
            watcher->deleteLater();
            m_busy = false;
            const QDBusMessage reply = watcher->reply();
            if (reply.type() == QDBusMessage::ReplyMessage)
                done(reply);
        });
    }

    // fcitx5's controller acts on the input context that last held the focus; its debug report lists the
    // contexts with their program and focus, so the call waits until the focused one is ours.
    void pollFcitx()
    {
        auto bus = QDBusConnection::sessionBus();
        call(bus,
             QDBusMessage::createMethodCall(kFcitxService, kFcitxController, kFcitxControllerInterface,
                                            QStringLiteral("DebugInfo")),
             [this, bus](const QDBusMessage &reply) {
                 if (reply.arguments().isEmpty())
                     return;
                 if (!fcitxReportShowsFocusedContext(reply.arguments().first().toString(), programName())) {
                     // The front end can miss the focus when the window is focused while it is still
                     // creating the window's input context; a focus change of the window makes it tell
                     // fcitx5 again.
                     if (++m_misses % 10 == 0 && m_widget) {
                         m_widget->window()->setFocus(Qt::OtherFocusReason);
                         m_widget->setFocus(Qt::OtherFocusReason);
                     }
                     return;
                 }
                 // The state of that context: 1 closed, 2 open. fcitx5 may still apply its own default
                 // to a new context after the first focus, so the request ends only once the wanted state
                 // has been read back on two polls in a row.
                 call(bus,
                      QDBusMessage::createMethodCall(kFcitxService, kFcitxController, kFcitxControllerInterface,
                                                     QStringLiteral("State")),
                      [this, bus](const QDBusMessage &stateReply) {
                          const int wanted = m_open ? 2 : 1;
                          if (!stateReply.arguments().isEmpty() && stateReply.arguments().first().toInt() == wanted) {
                              if (++m_confirmed >= 2)
                                  finish();
                              return;
                          }
                          m_confirmed = 0;
                          QDBusConnection(bus).asyncCall(QDBusMessage::createMethodCall(
                              kFcitxService, kFcitxController, kFcitxControllerInterface,
                              m_open ? QStringLiteral("Activate") : QStringLiteral("Deactivate")));
                      });
             });
    }

    // ibus names the focused input context; its engine's input-mode property is activated there.
    void pollIBus()
    {
        auto bus = QDBusConnection(kIBusConnection);
        call(bus, QDBusMessage::createMethodCall(kIBusService, kIBusPath, kIBusService,
                                                 QStringLiteral("CurrentInputContext")),
             [this, bus](const QDBusMessage &reply) {
                 if (reply.arguments().isEmpty())
                     return;
                 const QString ic = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
                 if (ic.isEmpty() || ic == QLatin1String("/"))
                     return;
                 call(bus, QDBusMessage::createMethodCall(kIBusService, ic, kIBusInputContext,
                                                          QStringLiteral("GetEngine")),
                      [this, bus, ic](const QDBusMessage &engineReply) {
                          if (engineReply.arguments().isEmpty())
                              return;
                          const QString property =
                              ibusInputModeProperty(engineNameOf(engineReply.arguments().first()), m_open);
                          if (!property.isEmpty()) {
                              auto msg = QDBusMessage::createMethodCall(kIBusService, ic, kIBusInputContext,
                                                                        QStringLiteral("PropertyActivate"));
                              msg << property << 1u; // PROP_STATE_CHECKED
                              QDBusConnection(bus).asyncCall(msg);
                          }
                          finish();
                      });
             });
    }

    QPointer<QWidget> m_widget;
    InputMethodFramework m_framework;
    bool m_open;
    bool m_busy = false;
    int m_misses = 0;    // polls that found the widget focused but not its input context
    int m_confirmed = 0; // polls in a row that read the wanted state back
    QDeadlineTimer m_deadline;
    QTimer m_timer;
};

} // namespace

InputMethodFramework inputMethodFramework()
{
    QString module = qEnvironmentVariable("QT_IM_MODULES");
    module = module.isEmpty() ? qEnvironmentVariable("QT_IM_MODULE") : module.section(QLatin1Char(';'), 0, 0);
    module = module.trimmed().toLower();
    if (module == QLatin1String("fcitx") || module == QLatin1String("fcitx5"))
        return InputMethodFramework::Fcitx5;
    if (module == QLatin1String("ibus"))
        return InputMethodFramework::IBus;
    return InputMethodFramework::None;
}

bool fcitxReportShowsFocusedContext(const QString &report, const QString &program)
{
    const QRegularExpression focused(QStringLiteral("^\\s*IC \\[[^\\]]*\\] program:(\\S*) .*\\bfocus:1\\b"),
                                     QRegularExpression::MultilineOption);
    for (auto it = focused.globalMatch(report); it.hasNext();)
        if (it.next().captured(1) == program)
            return true;
    return false;
}

QString ibusInputModeProperty(const QString &engine, bool open)
{
    // anthy: InputMode.Hiragana / InputMode.Latin (half-width alphanumerics through the engine).
    // mozc: InputMode.Hiragana / InputMode.Direct (the engine off; its InputMode.Latin is a composition
    // mode of its own).
    const bool mozc = engine.startsWith(QLatin1String("mozc"));
    const bool anthy = engine.startsWith(QLatin1String("anthy"));
    if (!mozc && !anthy)
        return {};
    if (open)
        return QStringLiteral("InputMode.Hiragana");
    return mozc ? QStringLiteral("InputMode.Direct") : QStringLiteral("InputMode.Latin");
}

void setInputMethodOpenFor(QWidget *widget, bool open)
{
    if (!widget)
        return;
    const InputMethodFramework framework = inputMethodFramework();
    if (framework == InputMethodFramework::Fcitx5) {
        auto bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kFcitxService))
            return;
    } else if (framework == InputMethodFramework::IBus) {
        const QString address = ibusAddress();
        if (address.isEmpty())
            return;
        if (!QDBusConnection(kIBusConnection).isConnected()) {
            QDBusConnection::disconnectFromBus(kIBusConnection);
            if (!QDBusConnection::connectToBus(address, kIBusConnection).isConnected())
                return;
        }
    } else {
        return;
    }
    new StateRequest(widget, framework, open);
}

} // namespace zv
