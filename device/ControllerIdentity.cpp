#include "device/ControllerIdentity.h"

#include "device/ParamFile.h"

bool isAnotherController(const ControllerIdentity &before, const ControllerIdentity &now)
{
    if (!before.isKnown() || !now.isKnown())
        return false;
    if (before.firmware != now.firmware || before.boot != now.boot)
        return true;
    if (!before.blockKnown || !now.blockKnown)
        return false;
    return !ParamFile::differences(before.block, now.block, paramBlockFormOf(now.block)).isEmpty();
}
