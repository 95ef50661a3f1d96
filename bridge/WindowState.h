#pragma once

class AppBridge;
class QQmlContext;
class QObject;

// Publishes, beside the bridge, the objects that tell the window what is live:
// linkMonitor, upgradeMonitor, messageJournal and actionFeedback, owned by
// `owner`; and registers the type FieldEdits (import Tavox 1.0).
void publishWindowState(QQmlContext &context, AppBridge &bridge, QObject &owner);
