#pragma once

class AppBridge;
class QQmlContext;
class QObject;

// Publishes, beside the bridge, the objects that tell the window what is live:
// linkMonitor, upgradeMonitor, messageJournal and actionFeedback, owned by
// `owner`; and registers, under import Tavox 1.0, the type FieldEdits and the
// Theme singleton every QML file takes its look from.
void publishWindowState(QQmlContext &context, AppBridge &bridge, QObject &owner);
