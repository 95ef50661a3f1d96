// Version-1 replies: heartbeat, version query and the routing to the upgrade.
#include "bridge/AppBridge.h"

#include "protocol/FrameCodec.h"

namespace {
const quint8 GeneralSet = 0x00;
const quint8 VersionQuery = 0x01;
}

void AppBridge::tavoxQueryVersion()
{
    if (!tavoxRequireSerial())
        return;
    if (sendFrame(buildFrameV1(GeneralSet, VersionQuery, QByteArray())))
        appendMessage(localized(QStringLiteral("正在查询版本号..."), QStringLiteral("Querying version...")));
}

void AppBridge::handleV1Reply(const ParsedFrame &) {}
