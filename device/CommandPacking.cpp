#include "device/CommandPacking.h"

#include "device/SubCommands.h"
#include "protocol/FrameCodec.h"

namespace {
quint32 low16(int value)
{
    return quint32(value) & 0xFFFF;
}

quint32 highLow(quint32 high, quint32 low)
{
    return (high << 16) | low;
}

quint8 channelSubCommand(Receiver receiver)
{
    switch (receiver) {
    case Receiver::Sbus:
        return SubCommand::SbusChannels;
    case Receiver::Pwm:
        return SubCommand::PwmChannels;
    case Receiver::Crsf:
        return SubCommand::CrsfChannels;
    }
    return SubCommand::SbusChannels;
}
}

QByteArray CommandWords::toFrame() const
{
    return buildCommandFrame(subCommand, para1, para2, para3, para4);
}

quint16 channelWord(int channel, int direction)
{
    return quint16((quint32(channel) & 0x7FFF) | ((quint32(direction) & 1) << 15));
}

CommandWords packChannels(Receiver receiver, const ChannelSettings &s)
{
    CommandWords words;
    words.subCommand = channelSubCommand(receiver);
    words.para1 = channelWord(s.pitch, s.pitchDir);
    words.para2 = channelWord(s.yaw, s.yawDir);
    if (receiver == Receiver::Pwm) {
        words.para3 = low16(s.center);
        words.para4 = highLow(low16(s.lock), low16(s.mode));
    } else {
        words.para3 = highLow(low16(s.center), low16(s.lock));
        words.para4 = highLow(channelWord(s.roll, s.rollDir), low16(s.mode));
    }
    return words;
}

CommandWords packSbusPhotoVideo(int photoCh, int videoCh)
{
    return { SubCommand::SbusPhotoVideo, quint32(photoCh), quint32(videoCh), 0, 0 };
}

CommandWords packCameraPosition(int position)
{
    return { SubCommand::CameraPosition, quint32(position), 0, 0, 0 };
}

CommandWords packMaxSpeeds(int pitchSpeed, int rollSpeed, int yawSpeed)
{
    return { SubCommand::MaxSpeed, quint32(pitchSpeed), quint32(yawSpeed), quint32(rollSpeed), 0 };
}

CommandWords packFpvMode(int fpvMode)
{
    return { SubCommand::FpvMode, quint32(fpvMode), 0, 0, 0 };
}

CommandWords packTorques(int pitchTorque, int rollTorque, int yawTorque)
{
    return { SubCommand::Torque, quint32(yawTorque), quint32(rollTorque), quint32(pitchTorque), 0 };
}

CommandWords plainCommand(quint8 subCommand)
{
    return { subCommand, 0, 0, 0, 0 };
}
