#pragma once

#include <QString>
#include <QtGlobal>

// Optional debug console, switched on by "Console/Enabled" in zentaro.cfg.
bool setupDebugConsole();
bool isConsoleActive();
// Whether "Console/Enabled" asked for the console and it was set up.
bool isDebugConsoleSwitchedOn();
void writeConsoleLine(const QString &text);
void consoleMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
