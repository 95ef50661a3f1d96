#pragma once

// What tavoxctl's exit status tells a script. Listed in --help and the README.
namespace ExitCode {
constexpr int Success = 0;
constexpr int Usage = 2;              // bad command line or bad input file; nothing was written
constexpr int PortFailure = 3;        // the port cannot be opened, or was lost
constexpr int ControllerRefused = 4;  // the controller refused or reported a failure
constexpr int NoReply = 5;            // the controller did not answer in time
constexpr int VerificationFailed = 6; // the controller found the upgraded image bad
constexpr int Interrupted = 130;      // Ctrl-C or SIGTERM, after a clean stop
}
