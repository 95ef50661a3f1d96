#pragma once

#include <QString>

// What a message in the log means to the operator, looked up in the table of
// the texts the tool itself writes (both languages).
enum class MessageKind { Info, Success, Error };

// The event a message reports, for the window's per-action feedback.
enum class MessageTopic {
    None,
    ParamsRead,       // a parameter block arrived
    CommandReply,     // the controller acknowledged a command
    VersionReply,     // the controller answered the version query
    PortRequired,     // an action was refused because no port is open
    UpgradeFailed,
};

struct MessageClass
{
    MessageKind kind = MessageKind::Info;
    MessageTopic topic = MessageTopic::None;
};

// Texts that are not in the table are information.
MessageClass classifyMessage(const QString &text);
