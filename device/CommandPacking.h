#pragma once

#include "device/ChannelSettings.h"

#include <QByteArray>
#include <QtGlobal>

// The payload of one command frame 0x85: a sub-command and four 32-bit words.
struct CommandWords
{
    quint8 subCommand = 0;
    quint32 para1 = 0;
    quint32 para2 = 0;
    quint32 para3 = 0;
    quint32 para4 = 0;

    QByteArray toFrame() const;
};

// Bits 0-14 the channel number, bit 15 the direction; a channel argument
// cannot set the direction bit.
quint16 channelWord(int channel, int direction);

// SBUS and CRSF share one layout; PWM has no roll and carries the lock in para4.
CommandWords packChannels(Receiver receiver, const ChannelSettings &settings);

CommandWords packSbusPhotoVideo(int photoCh, int videoCh);
CommandWords packCameraPosition(int position);
// Speeds go pitch, yaw, roll; torques go yaw, roll, pitch.
CommandWords packMaxSpeeds(int pitchSpeed, int rollSpeed, int yawSpeed);
CommandWords packFpvMode(int fpvMode);
CommandWords packTorques(int pitchTorque, int rollTorque, int yawTorque);

// Service commands carry no data: all four words are 0.
CommandWords plainCommand(quint8 subCommand);
