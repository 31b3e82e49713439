#pragma once
// The command line between the system, Qt and the program.
//
// The program acts on exactly one argument, the file to open, and that argument is always the file, even
// when it looks like one of Qt's own options ("-reverse", "-platform"): Qt is then shown no argument at
// all. With any other number of arguments Qt takes its options out as usual and the program counts what
// is left. The arguments are taken byte for byte (see filenames.h), so a name that is not UTF-8 still
// names its file.
//
//     zv::CommandLine commandLine(argc, argv);
//     QApplication app(commandLine.qtArgc(), argv);
//     const QStringList args = commandLine.arguments();

#include <QStringList>

namespace zv {

class CommandLine {
public:
    CommandLine(int argc, char **argv);

    // The count to give Qt's application object with argv; it must outlive that object.
    int &qtArgc() { return m_qtArgc; }

    // The program's arguments, without its own name, once the application object exists.
    QStringList arguments() const;

private:
    int m_argc;
    char **m_argv;
    int m_qtArgc;
};

} // namespace zv
