#pragma once

#include "service/FileChooser.h"

class AppBridge;
class DisplayRhythm;
class LinkEvents;
class MessageJournal;
class QQmlContext;
class QObject;
class SessionRecorder;

// The window's service tools beside the bridge: paramBackup, paramRestore, paramRanges,
// upgradeSnapshot, diagnosticsExport, linkHealth, telemetryHistory (which
// repaints in `rhythm`), plotExport and sessionExport, owned by `owner`, with the desktop's file dialogs.
// The diagnostics archive takes the session's record from `journal` and
// `linkEvents`, and the link's recordings from `recorder`'s folder. Tests find them by these names in the context and hand them a
// chooser of their own.
void publishServiceTools(QQmlContext &context, AppBridge &bridge, DisplayRhythm &rhythm, const MessageJournal &journal,
                         const LinkEvents &linkEvents, SessionRecorder &recorder, QObject &owner);
// Under import Tavox 1.0: TelemetryPlot, and the published types for their enums.
void registerServiceTypes(const char *uri);

// QFileDialog's open or save dialog.
FileChooser desktopFileChooser();
