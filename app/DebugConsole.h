#pragma once

#include <QString>
#include <QtGlobal>

// Optional debug console, switched on by "Console/Enabled" in zentaro.cfg.
bool setupDebugConsole();
bool isConsoleActive();
void writeConsoleLine(const QString &text);
void consoleMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
