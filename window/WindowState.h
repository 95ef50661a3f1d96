#pragma once

class AppBridge;
class DisplayRhythm;
class QQmlContext;
class QObject;

// Publishes, beside the bridge, the objects that tell the window what is live:
// autoReconnect, linkMonitor, upgradeMonitor, messageJournal, actionFeedback, calibrationGuide,
// motorService, logDivider, windowScale, portCatalog, liveTelemetry and the service tools (ServiceTools.h), owned by
// `owner`; and registers, under import Tavox 1.0, their types and the Theme
// singleton every QML file takes its look from.
void publishWindowState(QQmlContext &context, AppBridge &bridge, QObject &owner);

// Publishes liveTelemetry over `source` alone: the heartbeat values of any
// object with the bridge's hb* properties (a test's double, for one). Returns
// the rhythm the values follow, for the other views of live values.
DisplayRhythm &publishLiveTelemetry(QQmlContext &context, QObject &source, QObject &owner);
