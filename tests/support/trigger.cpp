#include "trigger.h"

#include <QAction>
#include <QMenu>
#include <QSignalBlocker>
#include <QTest>

bool trigger(QMainWindow *window, const char *objectName)
{
    auto *item = window->findChild<QAction *>(QString::fromLatin1(objectName));
    if (!item) {
        QTest::qFail(qPrintable(QStringLiteral("no action named %1").arg(QLatin1String(objectName))), __FILE__,
                     __LINE__);
        return false;
    }
    for (QObject *o : item->associatedObjects()) {
        if (auto *menu = qobject_cast<QMenu *>(o))
            emit menu->aboutToShow();
    }
    // Qt reports a hidden action as disabled; its own state is read with it shown for a moment.
    bool enabled = item->isEnabled();
    if (!enabled && !item->isVisible()) {
        const QSignalBlocker block(item);
        item->setVisible(true);
        enabled = item->isEnabled();
        item->setVisible(false);
    }
    if (!enabled) {
        QTest::qFail(qPrintable(QStringLiteral("action %1 is disabled").arg(QLatin1String(objectName))), __FILE__,
                     __LINE__);
        return false;
    }
    item->trigger();
    return true;
}
