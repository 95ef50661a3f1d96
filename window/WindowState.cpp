#include "window/WindowState.h"

#include "window/ActionFeedback.h"
#include "bridge/AppBridge.h"
#include "window/CalibrationGuide.h"
#include "window/DisplayRhythm.h"
#include "window/FieldEdits.h"
#include "window/LinkMonitor.h"
#include "window/LiveTelemetry.h"
#include "window/MessageJournal.h"
#include "window/PortCatalog.h"
#include "window/UpgradeMonitor.h"
#include "window/ServiceTools.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QUrl>

namespace {
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
    qmlRegisterUncreatableType<CalibrationDevice>(uri, 1, 0, "CalibrationDevice", published);
    qmlRegisterUncreatableType<LinkMonitor>(uri, 1, 0, "LinkMonitor", published);
    qmlRegisterUncreatableType<UpgradeMonitor>(uri, 1, 0, "UpgradeMonitor", published);
    qmlRegisterUncreatableType<MessageJournal>(uri, 1, 0, "MessageJournal", published);
    qmlRegisterUncreatableType<ActionFeedback>(uri, 1, 0, "ActionFeedback", published);
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/qml/Theme.qml")), uri, 1, 0, "Theme");
    registerServiceTypes(uri);
}
}

void publishWindowState(QQmlContext &context, AppBridge &bridge, QObject &owner)
{
    registerTypes();
    auto *journal = new MessageJournal(bridge, &owner);
    context.setContextProperty(QStringLiteral("linkMonitor"), new LinkMonitor(bridge, &owner));
    context.setContextProperty(QStringLiteral("upgradeMonitor"), new UpgradeMonitor(bridge, &owner));
    context.setContextProperty(QStringLiteral("messageJournal"), journal);
    context.setContextProperty(QStringLiteral("actionFeedback"), new ActionFeedback(bridge, *journal, &owner));
    context.setContextProperty(QStringLiteral("calibrationGuide"), CalibrationGuide::overBridge(bridge, &owner));
    auto *ports = new PortCatalog(&owner);
    // The refresh button's list and the catalogue's never disagree for long.
    QObject::connect(&bridge, &AppBridge::serialPortsChanged, ports, &PortCatalog::rescan);
    context.setContextProperty(QStringLiteral("portCatalog"), ports);
    DisplayRhythm &rhythm = publishLiveTelemetry(context, bridge, owner);
    publishServiceTools(context, bridge, rhythm, owner);
}

DisplayRhythm &publishLiveTelemetry(QQmlContext &context, QObject &source, QObject &owner)
{
    auto *rhythm = new DisplayRhythm(source, &owner);
    context.setContextProperty(QStringLiteral("liveTelemetry"), new LiveTelemetry(source, *rhythm, &owner));
    return *rhythm;
}
