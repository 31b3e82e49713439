// Prints the help manual that a program started from the folder this file lies in finds, and fails when it
// finds none. The install test copies it next to the installed program.

#include "platform/helpviewer.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString found = zv::HelpViewer::findManual(QStringLiteral("manual.html"));
    std::printf("%s\n", found.toLocal8Bit().constData());
    return found.isEmpty() ? 1 : 0;
}
