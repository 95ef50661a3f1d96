#include "app/DebugConsole.h"
#include "app/RendererChoice.h"
#include "app/Startup.h"
#include "app/StartupOptions.h"
#include "app/StartupProbe.h"
#include "bridge/AppBridge.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlDebuggingEnabler>


static QQmlDebuggingEnabler qmlDebuggingEnabler(true);

int main(int argc, char *argv[])
{
    markProcessStart();
    outliveTheFileSizeLimit();
    QApplication app(argc, argv);
    const StartupOptions options = parseStartupOptions(QApplication::arguments());
    if (!options.error.isEmpty() || options.helpRequested)
        return answerWithoutWindow(options);
    announceDebugConsole(setupDebugConsole());
    startAppLog();
    reportConsoleAttachment();
    const QIcon icon = installAppIcon();
    const QString fontFamily = applyAppFont();
    logRendererChoice(applyRendererChoice());

    logStartupStep("Creating AppBridge...");
    AppBridge bridge;
    useFileDialogForUpgrades(bridge);

    logStartupStep("Creating QML engine...");
    QQmlApplicationEngine engine;
    printEngineWarnings(engine);
    publishToQml(engine, bridge, fontFamily);

    if (!loadMainWindow(engine, icon))
        return -1;
    openStartupPort(bridge, options);
    return app.exec();
}
