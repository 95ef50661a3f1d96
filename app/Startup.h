#pragma once

#include <QIcon>
#include <QString>

class QApplication;
class QQmlApplicationEngine;
class AppBridge;
struct RendererChoice;

// The steps of start-up, in the order main() calls them.
// A write beyond the file size limit (ulimit -f) fails and the save reports it, instead of the signal ending
// the window without a word; the QML disk cache is then left alone (see Startup.cpp).
void outliveTheFileSizeLimit();
void announceDebugConsole(bool consoleInUse);
void startAppLog();
void reportConsoleAttachment();
QIcon installAppIcon();
QString resolveAppFontFamily();
QString applyAppFont();
void printEngineWarnings(QQmlApplicationEngine &engine);
void useFileDialogForUpgrades(AppBridge &bridge);
// Qt's own dialogs and buttons speak the window's language, switched with it.
void translateQtWithTheWindow(AppBridge &bridge, const QQmlApplicationEngine &engine);
void publishToQml(QQmlApplicationEngine &engine, AppBridge &bridge, const QString &fontFamily);
bool loadMainWindow(QQmlApplicationEngine &engine, const QIcon &icon);

// The log's last record: the session ended, closed by `signalName` when one did.
void logSessionEnd(const QString &signalName);

void logStartupStep(const char *text);
void logRendererChoice(const RendererChoice &choice);
