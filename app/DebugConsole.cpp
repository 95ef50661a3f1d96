#include "app/DebugConsole.h"

#include "app/Config.h"
#include "app/ConsolePlatform.h"

#include <QDebug>

#include <atomic>

namespace {
std::atomic_bool consoleActive { false };
QtMessageHandler previousHandler = nullptr;
bool handlerInstalled = false;

const char ConsoleTitle[] = "Zentaro Debug Console";
const char Banner[] = "Zentaro debug console ready (UTF-8). qDebug / QML / elog output here.\n";

void writeBanner()
{
    const QByteArray banner(Banner);
    if (!ConsolePlatform::writeToConsole(banner))
        ConsolePlatform::writeToStdout(banner);
}
}

bool isConsoleActive()
{
    return consoleActive || ConsolePlatform::hasConsoleWindow();
}

bool isDebugConsoleSwitchedOn()
{
    return consoleActive;
}

bool setupDebugConsole()
{
    ConsolePlatform::recheckConsoleWindow();
    if (!readConsoleEnabled())
        return isConsoleActive();

    if (!ConsolePlatform::hasConsoleWindow()) {
        int error = 0;
        if (!ConsolePlatform::allocateConsole(error)) {
            qWarning() << "[AppConsole] AllocConsole failed, error=" << error;
            return false;
        }
        ConsolePlatform::setConsoleTitle(QString::fromLatin1(ConsoleTitle));
    }

    consoleActive = true;
    if (!handlerInstalled) {
        previousHandler = qInstallMessageHandler(consoleMessageHandler);
        handlerInstalled = true;
    }
    writeBanner();
    return true;
}

void writeConsoleLine(const QString &text)
{
    if (!isConsoleActive())
        return;
    QString line = text;
    if (!line.endsWith(QLatin1Char('\n')))
        line.append(QLatin1Char('\n'));
    ConsolePlatform::writeToConsole(line.toUtf8());
}

void consoleMessageHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    writeConsoleLine(message);
}
