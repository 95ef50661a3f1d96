#pragma once

#include "protocol/ParsedFrame.h"

#include <QString>

// One readable line for a frame of the controller's protocol, for the log.
QString describeFrame(const ParsedFrame &frame);
