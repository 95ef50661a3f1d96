#pragma once

#include "device/ParamBlock.h"

#include <QString>

// Who answers on a link, as far as the controller tells: its firmware and boot
// versions, and its parameter block where one was read. Units of one batch
// share their versions; their parameters (set up each for its own gimbal)
// are what tells them apart.
struct ControllerIdentity
{
    QString firmware;
    QString boot;
    ParamBlock block;
    bool blockKnown = false;

    bool isKnown() const { return !firmware.isEmpty(); }
};

// Whether `now` is another controller than `before`: other versions, or the
// same versions with a block that differs where both blocks were read.
// Unknown identities are never told apart.
bool isAnotherController(const ControllerIdentity &before, const ControllerIdentity &now);
