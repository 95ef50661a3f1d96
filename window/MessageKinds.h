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

// The operator's actions a message can be the outcome of, as flags.
namespace MessageProducer {
constexpr unsigned None = 0;
constexpr unsigned Read = 1;          // a parameter read
constexpr unsigned Command = 2;       // a write or a calibration or motor command
constexpr unsigned VersionQuery = 4;
constexpr unsigned Upgrade = 8;
constexpr unsigned AnyDeviceAction = Read | Command | VersionQuery | Upgrade;
}

struct MessageClass
{
    MessageKind kind = MessageKind::Info;
    MessageTopic topic = MessageTopic::None;
    unsigned producers = MessageProducer::None;
};

// Texts that are not in the table are information.
MessageClass classifyMessage(const QString &text);
