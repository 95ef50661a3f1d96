#pragma once

#include "device/ParamBlock.h"

struct GimbalConfig
{
    int fpvMode = 0;
    int pitchSpeed = 0;
    int rollSpeed = 0;
    int yawSpeed = 0;
};

// A gimbal configuration goes out as two frames: the speeds, then the FPV
// mode. Only what the port took is stored (modulo 256), so a refused frame is
// never shown as the controller's setting. Returns true when anything was stored.
bool storeSentGimbalConfig(ParamBlock &block, const GimbalConfig &config, bool speedsSent, bool fpvModeSent);
