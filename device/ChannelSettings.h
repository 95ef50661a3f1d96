#pragma once

#include "device/ParamBlock.h"

// The three receiver protocols the controller takes its remote-control input from.
enum class Receiver { Sbus, Pwm, Crsf };

// One receiver's channel map as the interface passes it: unmasked ints.
// PWM has no roll channel and no roll direction; its `roll` fields are unused.
struct ChannelSettings
{
    int pitch = 0;
    int roll = 0;
    int yaw = 0;
    int center = 0;
    int lock = 0;
    int mode = 0;
    int pitchDir = 0;
    int rollDir = 0;
    int yawDir = 0;
};

// The receiver's map as `block` holds it (the PWM lock as its 8-bit field).
ChannelSettings storedChannels(const ParamBlock &block, Receiver receiver);

// Stores channels, centre, lock and mode modulo 256 and each direction masked
// with 1. Writing CRSF values marks the CRSF segment as present.
void storeChannels(ParamBlock &block, Receiver receiver, const ChannelSettings &settings);
void storeDirections(ParamBlock &block, Receiver receiver, const ChannelSettings &settings);
