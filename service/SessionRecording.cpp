#include "service/SessionRecording.h"

#include "bridge/AppBridge.h"
#include "service/LinkEvents.h"
#include "service/SessionRecords.h"

SessionRecorder *recordSessions(AppBridge &bridge, QObject *owner)
{
    auto *recorder = new SessionRecorder(bridge.messages(), SessionRecorder::defaultFolder(),
                                         RecordingSettings::stored(), owner);
    SerialLink &link = bridge.serialLink();
    link.setFrameTap(recorder);
    QObject::connect(recorder, &QObject::destroyed, &bridge, [&link] { link.setFrameTap(nullptr); });
    QObject::connect(&bridge.messages(), &MessageLog::entryAdded, recorder, [recorder](const MessageEntry &entry) {
        recorder->note(entry.time, QStringLiteral("message"), messageKindName(entry.meaning.kind), entry.english);
    });
    return recorder;
}

void noteLinkEvents(SessionRecorder &recorder, const LinkEvents &events)
{
    QObject::connect(&events, &LinkEvents::recorded, &recorder, [&recorder](const LinkEvents::Event &event) {
        recorder.note(event.time, QStringLiteral("event"), event.name, event.detail);
    });
}
