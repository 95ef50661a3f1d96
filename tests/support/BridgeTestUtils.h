#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class AppBridge;

// The message log's entries without their "[yyyy-MM-dd hh:mm:ss] " stamps.
QStringList messageTexts(const AppBridge &bridge);

// Removes zentaro.cfg beside the test executable so the bridge starts from defaults.
void removeConfigFile();

// The message-log texts added from now on, for as long as it lives.
class EntryCapture
{
public:
    explicit EntryCapture(AppBridge &bridge);
    QStringList startingWith(const QString &start) const;

private:
    QObject m_context;
    QStringList m_texts;
};
