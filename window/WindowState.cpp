#include "window/WindowState.h"

#include "window/ActionFeedback.h"
#include "app/Config.h"
#include "service/AutoReconnect.h"
#include "service/ControllerWatch.h"
#include "service/LinkEvents.h"
#include "service/SessionRecording.h"
#include "bridge/AppBridge.h"
#include "window/CalibrationGuide.h"
#include "window/ChannelCheck.h"
#include "window/DisplayRhythm.h"
#include "window/FieldEdits.h"
#include "window/FocusFollower.h"
#include "window/LinkMonitor.h"
#include "window/LiveTelemetry.h"
#include "window/LogDivider.h"
#include "window/MessageJournal.h"
#include "window/MotorService.h"
#include "window/PortCatalog.h"
#include "window/UnsavedEdits.h"
#include "window/UpgradeMonitor.h"
#include "window/WheelRouter.h"
#include "window/WindowScale.h"
#include "window/ServiceTools.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QUrl>

namespace {
// The switch the operator turns is kept for the next start.
AutoReconnect *storedAutoReconnect(AppBridge &bridge, QObject &owner)
{
    auto *reconnect = new AutoReconnect(bridge, &owner);
    reconnect->setEnabled(readReconnectEnabled());
    QObject::connect(reconnect, &AutoReconnect::enabledChanged, reconnect,
                     [reconnect] { writeReconnectEnabled(reconnect->enabled()); });
    return reconnect;
}

void registerTypes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const char *uri = "Tavox";
    const QString published = QStringLiteral("published beside the bridge");
    qmlRegisterType<FieldEdits>(uri, 1, 0, "FieldEdits");
    qmlRegisterType<CalibrationGuide>(uri, 1, 0, "CalibrationGuide");
    qmlRegisterType<FocusFollower>(uri, 1, 0, "FocusFollower");
    qmlRegisterType<WheelRouter>(uri, 1, 0, "WheelRouter");
    qmlRegisterType<MotorService>(uri, 1, 0, "MotorService");
    qmlRegisterUncreatableType<MotorDevice>(uri, 1, 0, "MotorDevice", published);
    qmlRegisterUncreatableType<CalibrationDevice>(uri, 1, 0, "CalibrationDevice", published);
    qmlRegisterUncreatableType<LinkMonitor>(uri, 1, 0, "LinkMonitor", published);
    qmlRegisterUncreatableType<AutoReconnect>(uri, 1, 0, "AutoReconnect", published);
    qmlRegisterUncreatableType<ControllerWatch>(uri, 1, 0, "ControllerWatch", published);
    qmlRegisterUncreatableType<UpgradeMonitor>(uri, 1, 0, "UpgradeMonitor", published);
    qmlRegisterUncreatableType<MessageJournal>(uri, 1, 0, "MessageJournal", published);
    qmlRegisterUncreatableType<ActionFeedback>(uri, 1, 0, "ActionFeedback", published);
    qmlRegisterUncreatableType<UnsavedEdits>(uri, 1, 0, "UnsavedEdits", published);
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/qml/Theme.qml")), uri, 1, 0, "Theme");
    registerServiceTypes(uri);
}
}

void publishWindowState(QQmlContext &context, AppBridge &bridge, QObject &owner)
{
    registerTypes();
    auto *journal = new MessageJournal(bridge, &owner);
    auto *reconnect = storedAutoReconnect(bridge, owner);
    auto *monitor = new LinkMonitor(bridge, &owner);
    monitor->followReconnection(*reconnect);
    auto *controller = new ControllerWatch(bridge, &owner);
    controller->followReconnection(*reconnect);
    monitor->followController(*controller);
    context.setContextProperty(QStringLiteral("controllerWatch"), controller);
    auto *linkEvents = new LinkEvents(bridge, &owner);
    linkEvents->followReconnection(*reconnect);
    auto *recorder = recordSessions(bridge, &owner);
    noteLinkEvents(*recorder, *linkEvents);
    context.setContextProperty(QStringLiteral("sessionRecorder"), recorder);
    context.setContextProperty(QStringLiteral("autoReconnect"), reconnect);
    context.setContextProperty(QStringLiteral("linkMonitor"), monitor);
    context.setContextProperty(QStringLiteral("upgradeMonitor"), new UpgradeMonitor(bridge, &owner));
    context.setContextProperty(QStringLiteral("messageJournal"), journal);
    auto *feedback = new ActionFeedback(bridge, *journal, &owner);
    feedback->followController(*controller);
    context.setContextProperty(QStringLiteral("actionFeedback"), feedback);
    context.setContextProperty(QStringLiteral("unsavedEdits"), new UnsavedEdits(bridge, &owner));
    context.setContextProperty(QStringLiteral("channelCheck"), new ChannelCheck(bridge, &owner));
    auto *calibration = CalibrationGuide::overBridge(bridge, &owner);
    context.setContextProperty(QStringLiteral("calibrationGuide"), calibration);
    context.setContextProperty(QStringLiteral("motorService"), MotorService::overBridge(bridge, &owner));
    auto *ports = new PortCatalog(&owner);
    // The refresh button's list and the catalogue's never disagree for long.
    QObject::connect(&bridge, &AppBridge::serialPortsChanged, ports, &PortCatalog::rescan);
    // However the port was opened (the command line, a reconnection), the box shows the one in use.
    QObject::connect(&bridge, &AppBridge::serialOpenedChanged, ports, [&bridge, ports] {
        if (bridge.serialOpened())
            ports->choose(bridge.serialLink().portName());
    });
    context.setContextProperty(QStringLiteral("portCatalog"), ports);
    context.setContextProperty(QStringLiteral("logDivider"), new LogDivider(&owner));
    context.setContextProperty(QStringLiteral("windowScale"), new WindowScale(&owner));
    DisplayRhythm &rhythm = publishLiveTelemetry(context, bridge, owner);
    publishServiceTools(context, bridge, rhythm, *journal, *linkEvents, *recorder, owner);
}

DisplayRhythm &publishLiveTelemetry(QQmlContext &context, QObject &source, QObject &owner)
{
    auto *rhythm = new DisplayRhythm(source, &owner);
    context.setContextProperty(QStringLiteral("liveTelemetry"), new LiveTelemetry(source, *rhythm, &owner));
    return *rhythm;
}
