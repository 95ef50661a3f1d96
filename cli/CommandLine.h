#pragma once

#include <QString>
#include <QStringList>

class CliOutput;

// What the command line asks for, checked before anything touches a port.
struct CommandLine
{
    enum class Action { Ports, Info, ParamsGet, ParamsSave, ParamsDiff, ParamsLoad, Upgrade, Monitor, Record, Calibrate };

    Action action = Action::Ports;
    QString port;
    int baud = 921600;
    QString file;
    QString calibration; // calibrate's KIND, one of calibrationKinds()
    int seconds = 0;     // monitor, record: how long; 0 until interrupted
    bool json = false;
    bool reconnect = true; // monitor: wait for a lost port to come back
    bool dryRun = false;
    bool yes = false;
    bool verbose = false;
    qint64 replyTimeoutMs = 5000;
};

// Fills `command` and returns -1 when it is to be run; otherwise the exit
// code, after the help, the version or a usage error has been printed.
int parseCommandLine(const QStringList &arguments, const CliOutput &out, CommandLine &command);
