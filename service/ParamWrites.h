#pragma once

#include "device/ParamFile.h"
#include "device/ParamWritePlan.h"
#include "device/TextPair.h"

class AppBridge;

// How a parameter file reaches the controller through the bridge: the same
// write operations the panels use, so a restored value goes out exactly as a
// value typed into a panel would. Shared by tavoxctl and the window.

// Hands `target`'s values of `write` to the bridge's write operation.
void applyParamWrite(AppBridge &bridge, ParamWrite write, const ParamBlock &target);

// "the camera position", "the SBUS channels and directions", …
TextPair paramWriteName(ParamWrite write);

// The bridge's parameter block as a parameter file, stamped now, with the
// versions the bridge knows.
ParamFile::Contents paramFileContentsOf(const AppBridge &bridge);

// What a file dialog offers for parameter files.
TextPair paramFileFilter();
// Where the file dialogs of backup and restore open: the folder of the last
// parameter file backed up or restored, kept across runs; else the home folder.
QString paramFileFolder();
// Keeps the folder of `path` for the next dialog; a failure to keep it is reported.
void rememberParamFileFolder(AppBridge &bridge, const QString &path);

// A comparison of the controller with a file that found nothing to write.
TextPair noDifferencesText();
// Where the parameters read before an upgrade were kept.
TextPair snapshotSavedText(const QString &path);

// The refusal of a file whose form is not the controller's: it would write
// fields the controller does not have, or leave out fields it does.
ParamFile::Problem formMismatch(const ParamFile::Contents &file, ParamBlockForm controllerForm);
