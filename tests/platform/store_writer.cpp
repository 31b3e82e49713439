// Writes one value of the settings store many times, as a running copy of the program would.
// Usage: store_writer NAME COUNT
#include "platform/settingsstore.h"
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString name = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    for (int i = 0; i < count; ++i) {
        zv::SettingsStore store; // every use opens its own view
        store.writeInteger(zv::kOtherData, name, i);
        store.writeString(zv::kFormData, name + QStringLiteral("Text"), QStringLiteral("値%1").arg(i));
    }
    return 0;
}
