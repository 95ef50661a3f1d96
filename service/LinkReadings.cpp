#include "service/LinkReadings.h"

#include "bridge/AppBridge.h"
#include "service/ParamWrites.h"

namespace {
const QString Unknown = QStringLiteral("-");
}

bool paramsReadOnThisLink(const AppBridge &bridge)
{
    return bridge.serialLink().session().paramBlockCurrent();
}

QString firmwareReadOnThisLink(const AppBridge &bridge)
{
    return bridge.serialLink().session().versionsCurrent() ? bridge.tavoxFirmwareVersion() : Unknown;
}

QString bootReadOnThisLink(const AppBridge &bridge)
{
    return bridge.serialLink().session().versionsCurrent() ? bridge.tavoxBootVersion() : Unknown;
}

ParamFile::Contents paramFileContentsOfThisLink(const AppBridge &bridge)
{
    ParamFile::Contents contents = paramFileContentsOf(bridge);
    contents.firmwareVersion = firmwareReadOnThisLink(bridge);
    contents.bootVersion = bootReadOnThisLink(bridge);
    return contents;
}
