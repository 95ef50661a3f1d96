// Firmware upgrade: file choice and the reply-driven session.
#include "bridge/AppBridge.h"

void AppBridge::tavoxSelectUpgradeFile() {}

void AppBridge::tavoxStartUpgrade(QString) { tavoxRequireSerial(); }
