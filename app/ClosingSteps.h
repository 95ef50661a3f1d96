#pragma once

class AppBridge;

// What the tool does between its window closing (the close button or a
// signal) and letting go of the port. A channel or torque write whose
// activation or restart has not gone out yet would leave the controller
// holding values it never applied, so the tool stays until that step has gone
// out, for a few seconds at most; a further signal ends the wait. An upgrade
// cut off by the close leaves the controller in its bootloader, and the log
// file says so.
void finishStepsInFlight(AppBridge &bridge);
