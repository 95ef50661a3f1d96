#pragma once

#include <QString>
#include <QStringList>

class AppBridge;

// What the command line asks of a start:
//   tavox [--port PORT [--baud N]] [Qt's own options: -platform, -style ...]
//   tavox --help | --version
// --port opens that serial port as soon as the window is up, as the sidebar's
// switch would (baud rate 921600 unless --baud says otherwise), so the tool can
// be started connected without anyone at the window (benchmarks, kiosk set-ups).
// The command line is read before the application object exists, so that the
// answers that need no window need no display either; Qt's own options are
// known to it and left for Qt.
struct StartupOptions
{
    static constexpr int DefaultBaudRate = 921600;

    QString portName;   // empty: start closed, as without options
    int baudRate = DefaultBaudRate;
    bool helpRequested = false;
    bool versionRequested = false;
    QString error;   // set when the command line cannot be used; nothing else is then

    // Whether the command line is answered on the console alone.
    bool answeredWithoutWindow() const { return helpRequested || versionRequested || !error.isEmpty(); }
};

StartupOptions parseStartupOptions(const QStringList &arguments);
// The program's arguments, the program first, as Qt would read them.
QStringList commandLineArguments(int argc, char *argv[]);
QString startupUsage();

// For a command line that asks for help or the version, or cannot be used:
// prints the answer (a fault first, then the help, on standard error) and
// returns the exit code, 0 or 2.
int answerWithoutWindow(const StartupOptions &options);

// Opens the port the command line named, if any. A port that does not open
// is reported in the message log like a failed open from the sidebar, and the
// window stays up.
void openStartupPort(AppBridge &bridge, const StartupOptions &options);
