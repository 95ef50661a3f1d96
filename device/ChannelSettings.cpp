#include "device/ChannelSettings.h"

namespace {
quint8 direction(int value)
{
    return quint8(value & 1);
}
}

ChannelSettings storedChannels(const ParamBlock &block, Receiver receiver)
{
    ChannelSettings settings;
    switch (receiver) {
    case Receiver::Sbus:
        settings = { block.sbusPitchCh, block.sbusRollCh,  block.sbusYawCh,  block.sbusCenterCh, block.sbusLockCh,
                     block.sbusMode,    block.sbusPitchDir, block.sbusRollDir, block.sbusYawDir };
        break;
    case Receiver::Pwm:
        settings = { block.pwmPitchCh, 0, block.pwmYawCh, block.pwmCenterCh, block.pwmLockCh,
                     block.pwmMode,    block.pwmPitchDir, 0, block.pwmYawDir };
        break;
    case Receiver::Crsf:
        settings = { block.crsfPitchCh, block.crsfRollCh,  block.crsfYawCh,  block.crsfCenterCh, block.crsfLockCh,
                     block.crsfMode,    block.crsfPitchDir, block.crsfRollDir, block.crsfYawDir };
        break;
    }
    return settings;
}

void storeChannels(ParamBlock &block, Receiver receiver, const ChannelSettings &settings)
{
    switch (receiver) {
    case Receiver::Sbus:
        block.sbusPitchCh = quint8(settings.pitch);
        block.sbusRollCh = quint8(settings.roll);
        block.sbusYawCh = quint8(settings.yaw);
        block.sbusCenterCh = quint8(settings.center);
        block.sbusLockCh = quint8(settings.lock);
        block.sbusMode = quint8(settings.mode);
        break;
    case Receiver::Pwm:
        block.pwmPitchCh = quint8(settings.pitch);
        block.pwmYawCh = quint8(settings.yaw);
        block.pwmCenterCh = quint8(settings.center);
        block.pwmLockCh = quint8(settings.lock);
        block.pwmMode = quint8(settings.mode);
        break;
    case Receiver::Crsf:
        block.crsfPitchCh = quint8(settings.pitch);
        block.crsfRollCh = quint8(settings.roll);
        block.crsfYawCh = quint8(settings.yaw);
        block.crsfCenterCh = quint8(settings.center);
        block.crsfLockCh = quint8(settings.lock);
        block.crsfMode = quint8(settings.mode);
        break;
    }
    storeDirections(block, receiver, settings);
}

void storeDirections(ParamBlock &block, Receiver receiver, const ChannelSettings &settings)
{
    switch (receiver) {
    case Receiver::Sbus:
        block.sbusPitchDir = direction(settings.pitchDir);
        block.sbusRollDir = direction(settings.rollDir);
        block.sbusYawDir = direction(settings.yawDir);
        break;
    case Receiver::Pwm:
        block.pwmPitchDir = direction(settings.pitchDir);
        block.pwmYawDir = direction(settings.yawDir);
        break;
    case Receiver::Crsf:
        block.crsfPitchDir = direction(settings.pitchDir);
        block.crsfRollDir = direction(settings.rollDir);
        block.crsfYawDir = direction(settings.yawDir);
        block.crsfPresent = true;
        break;
    }
}
