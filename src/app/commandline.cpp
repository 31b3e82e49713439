#include "commandline.h"
#include "platform/filenames.h"

namespace zv {

CommandLine::CommandLine(int argc, char **argv)
    : m_argc(argc), m_argv(argv), m_qtArgc(argc == 2 ? 1 : argc)
{
}

QStringList CommandLine::arguments() const
{
    // With one argument Qt saw none and left it alone; otherwise argv holds what Qt left, m_qtArgc long.
    const int count = m_argc == 2 ? 2 : m_qtArgc;
    QStringList args;
    for (int i = 1; i < count; ++i)
        args << fileNameFromNative(QByteArray(m_argv[i]));
    return args;
}

} // namespace zv
