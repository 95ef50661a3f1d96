#pragma once

#include <QByteArray>
#include <QString>

// The few console services the debug console needs, on a POSIX terminal:
// the "console window" is the terminal standard output is attached to.
namespace ConsolePlatform {

// True when standard output is a terminal. Asked once and remembered until
// recheckConsoleWindow(): standard output changes only at start-up.
bool hasConsoleWindow();
void recheckConsoleWindow();

// Attaches standard input, output and error to the controlling terminal.
// On failure returns false, stores errno in `error` and leaves the streams as they were.
bool allocateConsole(int &error);

// Sets the terminal's title through its title escape sequence.
void setConsoleTitle(const QString &title);

// Writes UTF-8 text to standard output when it is a terminal; false otherwise.
bool writeToConsole(const QByteArray &utf8);

// Writes bytes to standard output, whatever it is, and flushes it.
void writeToStdout(const QByteArray &bytes);

}
