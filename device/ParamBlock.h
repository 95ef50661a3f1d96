#pragma once

#include <QByteArray>
#include <QtGlobal>

// The bridge's copy of the controller's parameter block, with the widths the
// controller stores. Channel numbers, modes, directions, speeds, position and
// FPV mode are 8-bit; torques are 16-bit.
struct ParamBlock
{
    quint8 sbusPitchCh = 1;
    quint8 sbusYawCh = 1;
    quint8 sbusCenterCh = 1;
    quint8 sbusMode = 1;
    quint8 pwmPitchCh = 1;
    quint8 pwmYawCh = 1;
    quint8 pwmCenterCh = 1;
    quint8 pwmMode = 1;
    quint8 cameraPosition = 1;
    quint8 pitchMaxSpeed = 0;
    quint8 yawMaxSpeed = 0;
    quint8 fpvMode = 0;
    quint8 sbusRollCh = 1;
    quint8 rollMaxSpeed = 0;
    quint8 sbusLockCh = 1;
    quint8 pwmLockCh = 0;
    quint16 yawMaxTorque = 0;
    quint16 rollMaxTorque = 0;
    quint16 pitchMaxTorque = 0;
    quint8 sbusPhotoCh = 0;
    quint8 sbusVideoCh = 0;
    quint8 sbusPitchDir = 0;
    quint8 sbusRollDir = 0;
    quint8 sbusYawDir = 0;
    quint8 pwmPitchDir = 0;
    quint8 pwmYawDir = 0;
    quint8 crsfPitchCh = 1;
    quint8 crsfRollCh = 1;
    quint8 crsfYawCh = 1;
    quint8 crsfCenterCh = 1;
    quint8 crsfLockCh = 1;
    quint8 crsfMode = 1;
    quint8 crsfPitchDir = 0;
    quint8 crsfRollDir = 0;
    quint8 crsfYawDir = 0;
    bool crsfPresent = false;
    bool photoVideoPresent = false;
};
