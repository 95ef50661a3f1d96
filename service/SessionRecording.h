#pragma once

#include "record/SessionRecorder.h"

class AppBridge;
class LinkEvents;

// The recorder of the bridge's link, kept in the sessions folder as zentaro.cfg
// says, with the message log's entries in the notes beside each recording.
// Owned by `owner`; the link lets go of it when it goes.
SessionRecorder *recordSessions(AppBridge &bridge, QObject *owner);
// The link events in the notes as well.
void noteLinkEvents(SessionRecorder &recorder, const LinkEvents &events);
