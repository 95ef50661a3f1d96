#pragma once

#include <QString>
#include <QStringList>

class AppBridge;

// The message log's entries without their "[yyyy-MM-dd hh:mm:ss] " stamps.
QStringList messageTexts(const AppBridge &bridge);

// Removes zentaro.cfg beside the test executable so the bridge starts from defaults.
void removeConfigFile();
