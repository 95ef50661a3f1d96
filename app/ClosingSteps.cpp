#include "app/ClosingSteps.h"

#include "app/Startup.h"
#include "bridge/AppBridge.h"

#include <QEventLoop>
#include <QTimer>

namespace {
// The activation goes out half a second after a write and the restart half a second later.
const int StepInFlightWaitMs = 3000;
const int StepCheckMs = 20;
const int FramesWrittenTimeoutMs = 1000;

bool stepInFlight(const AppBridge &bridge)
{
    return bridge.serialOpened() && bridge.parameters().owedRestart() != OwedRestart::None;
}

void logLine(const QString &text)
{
    logStartupStep(text.toUtf8().constData());
}

void waitForStepInFlight(AppBridge &bridge)
{
    const TextPair what = owedRestartName(bridge.parameters().owedRestart());
    logLine(QStringLiteral("Finishing the write in progress with its %1 before closing").arg(what.en));
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (!stepInFlight(bridge))
            loop.quit();
    });
    check.start(StepCheckMs);
    QTimer::singleShot(StepInFlightWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (stepInFlight(bridge) || !bridge.serialLink().waitForFramesWritten(FramesWrittenTimeoutMs)) {
        logLine(QStringLiteral("The %1 of the last write did not go out: the controller holds its new values "
                               "unapplied; write them again to apply them")
                    .arg(what.en));
        return;
    }
    logLine(QStringLiteral("The write in progress was finished with its %1").arg(what.en));
}
}

void finishStepsInFlight(AppBridge &bridge)
{
    if (bridge.tavoxUpgrading())
        logLine(QStringLiteral("The firmware upgrade was cut off by the close: the controller may be waiting in its "
                               "bootloader; open the port and start the upgrade again to finish it"));
    else if (stepInFlight(bridge))
        waitForStepInFlight(bridge);
}
