#pragma once

#include "device/ParamFile.h"

#include <QString>

class AppBridge;

// What the controller attached now reported: only what came on the current
// open of the link. The window goes on showing what an earlier open read, as
// stale values, but a reopen may have put another controller on the line, so
// nothing saved for the controller or written to it may come from those.

// A parameter block arrived on this open.
bool paramsReadOnThisLink(const AppBridge &bridge);
// "-" until the controller has reported its versions on this open.
QString firmwareReadOnThisLink(const AppBridge &bridge);
QString bootReadOnThisLink(const AppBridge &bridge);
// The bridge's block as a parameter file, stamped now, with the versions read on this open.
ParamFile::Contents paramFileContentsOfThisLink(const AppBridge &bridge);
