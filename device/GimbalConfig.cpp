#include "device/GimbalConfig.h"

bool storeSentGimbalConfig(ParamBlock &block, const GimbalConfig &config, bool speedsSent, bool fpvModeSent)
{
    if (speedsSent) {
        block.pitchMaxSpeed = quint8(config.pitchSpeed);
        block.rollMaxSpeed = quint8(config.rollSpeed);
        block.yawMaxSpeed = quint8(config.yawSpeed);
    }
    if (fpvModeSent)
        block.fpvMode = quint8(config.fpvMode);
    return speedsSent || fpvModeSent;
}
