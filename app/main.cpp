#include "app/ClosingSteps.h"
#include "app/DebugConsole.h"
#include "app/PlatformFailure.h"
#include "app/RendererChoice.h"
#include "app/SignalledClose.h"
#include "app/Startup.h"
#include "app/StartupOptions.h"
#include "app/StartupProbe.h"
#include "bridge/AppBridge.h"

#include <QApplication>
#include <QQmlApplicationEngine>
// Developer builds (TAVOX_QML_DEBUGGING) define QT_QML_DEBUG, with which this header switches the QML
// debugger on before main(); shipped builds leave the engine closed to it.
#include <QQmlDebuggingEnabler>

namespace {
int runWindow(const StartupOptions &options)
{
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
    translateQtWithTheWindow(bridge, engine);
    publishToQml(engine, bridge, fontFamily);

    if (!loadMainWindow(engine, icon))
        return -1;
    openStartupPort(bridge, options);
    const int code = QApplication::exec();
    finishStepsInFlight(bridge);
    return code;
}
}

int main(int argc, char *argv[])
{
    markProcessStart();
    // Help, the version and a command line that cannot be used are answered
    // before Qt looks for a display, so they work where there is none.
    const StartupOptions options = parseStartupOptions(commandLineArguments(argc, argv));
    if (options.answeredWithoutWindow()) {
        // The help text is built by QCommandLineParser, which needs an application object: one without a GUI.
        const QCoreApplication console(argc, argv);
        return answerWithoutWindow(options);
    }
    outliveTheFileSizeLimit();
    leaveOpenGlUnloadedWhenUnused();
    PlatformFailureExit platformFailure;
    QApplication app(argc, argv);
    platformFailure.release();
    const SignalledClose signalledClose;
    const int code = runWindow(options);
    logSessionEnd(signalledClose.cause());
    return code;
}
