#pragma once

#include "device/ParamBlock.h"
#include "device/ParamFile.h"
#include "device/TextPair.h"

#include <QVector>

// One write operation of the window, as a parameter file is applied with it.
enum class ParamWrite {
    CameraPosition,
    GimbalConfig,     // FPV mode and the three maximum speeds
    SbusPhotoVideo,
    SbusDirections,   // directions alone: no activation, no reboot
    PwmDirections,
    CrsfDirections,
    SbusChannels,     // channels with directions, then Activate and Reboot
    PwmChannels,
    CrsfChannels,
    Torque,           // then Reboot
};

// Whether the controller restarts after the write.
bool rebootsController(ParamWrite write);

// What a write still needs sent before the controller applies it: a channel
// map its activation and a restart, the torques a restart.
enum class OwedRestart { None, Reboot, ActivateAndReboot };
OwedRestart restartOwedBy(ParamWrite write);
// "activation and restart", "restart"; null for None.
TextPair owedRestartName(OwedRestart owed);

// The writes that take `device` to `target` for the fields of `form`, each
// needed write once: those that leave the controller running first, then one
// at a time those that restart it, the torque last.
QVector<ParamWrite> planParamWrites(const ParamBlock &device, const ParamBlock &target, ParamBlockForm form);

// `writes` each once, in the order they go out, without a direction write whose
// receiver's channel write already carries the directions.
QVector<ParamWrite> inWriteOrder(QVector<ParamWrite> writes);

// The first field that `writes` would send outside its range, or empty. A
// write sends its whole group from `target`, so a field the operator left
// alone goes out too, with the controller's value.
QString fieldWrittenOutsideRange(const QVector<ParamWrite> &writes, const ParamBlock &target, ParamBlockForm form);
