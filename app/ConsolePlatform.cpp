#include "app/ConsolePlatform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Asked for every line written: standard output changes only when the console
// is attached, so the answer is kept until then.
int stdoutIsTerminal = -1;
}

namespace ConsolePlatform {

void recheckConsoleWindow()
{
    stdoutIsTerminal = -1;
}

bool hasConsoleWindow()
{
    if (stdoutIsTerminal < 0)
        stdoutIsTerminal = isatty(STDOUT_FILENO) == 1;
    return stdoutIsTerminal == 1;
}

bool allocateConsole(int &error)
{
    // The standard streams are replaced only once the terminal is open: a console that cannot be had must
    // not take away the output the log records and warnings still go to.
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        error = errno;
        return false;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    for (const int stream : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
        dup2(terminal, stream);
    ::close(terminal);
    recheckConsoleWindow();
    return true;
}

void setConsoleTitle(const QString &title)
{
    if (!hasConsoleWindow())
        return;
    const QByteArray sequence = "\033]0;" + title.toUtf8() + "\007";
    std::fwrite(sequence.constData(), 1, size_t(sequence.size()), stdout);
    std::fflush(stdout);
}

bool writeToConsole(const QByteArray &utf8)
{
    if (!hasConsoleWindow() || utf8.isEmpty())
        return false;
    std::fwrite(utf8.constData(), 1, size_t(utf8.size()), stdout);
    std::fflush(stdout);
    return true;
}

void writeToStdout(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

}
