#pragma once

#include <QString>
#include <QStringList>

class AppBridge;

// What the command line asks of a start, after Qt has taken its own options:
//   tavox [--port PORT [--baud N]]
// --port opens that serial port as soon as the window is up, as the sidebar's
// switch would (baud rate 921600 unless --baud says otherwise), so the tool can
// be started connected without anyone at the window (benchmarks, kiosk set-ups).
struct StartupOptions
{
    static constexpr int DefaultBaudRate = 921600;

    QString portName;   // empty: start closed, as without options
    int baudRate = DefaultBaudRate;
    bool helpRequested = false;
    QString error;   // set when the command line cannot be used; nothing else is then
};

StartupOptions parseStartupOptions(const QStringList &arguments);
QString startupUsage();

// For a command line that asks for help or cannot be used: prints the help
// (after the fault, on standard error) and returns the exit code, 0 or 2.
int answerWithoutWindow(const StartupOptions &options);

// Opens the port the command line named, if any. A port that does not open
// is reported in the message log like a failed open from the sidebar, and the
// window stays up.
void openStartupPort(AppBridge &bridge, const StartupOptions &options);
