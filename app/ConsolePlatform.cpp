#include "app/ConsolePlatform.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace ConsolePlatform {

bool hasConsoleWindow()
{
    return isatty(STDOUT_FILENO) == 1;
}

bool allocateConsole(int &error)
{
    if (!std::freopen("/dev/tty", "w", stdout)) {
        error = errno;
        return false;
    }
    if (!std::freopen("/dev/tty", "w", stderr)) {
        error = errno;
        return false;
    }
    std::freopen("/dev/tty", "r", stdin);
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
