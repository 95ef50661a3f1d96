#pragma once

#include "device/TextPair.h"

#include <QString>

// What a message in the log means to the operator.
// A warning is no failure of the operator's action, but asks for attention
// (another controller answered where the last one was).
enum class MessageKind { Info, Success, Error, Warning };

// The event a message reports, for the window's per-action feedback.
enum class MessageTopic {
    None,
    Started,          // the tool greets the operator
    ParamsRead,       // a parameter block arrived
    CommandReply,     // the controller acknowledged a command
    VersionReply,     // the controller answered the version query
    PortRequired,     // an action was refused because no port is open
    UpgradeFailed,
    RestartSent,      // the controller was told to restart: its silence for a while is expected
    RecordingStopped, // the disk refused the link's recording; the link goes on
};

// How long a controller told to restart may stay silent before it counts as lost.
constexpr int RestartSilenceMs = 15000;

// The operator's actions a message can be the outcome of, as flags.
namespace OperatorAction {
constexpr unsigned None = 0;
constexpr unsigned Read = 1;          // a parameter read
constexpr unsigned Command = 2;       // a write or a calibration or motor command
constexpr unsigned VersionQuery = 4;
constexpr unsigned Upgrade = 8;
constexpr unsigned AnyDeviceAction = Read | Command | VersionQuery | Upgrade;
}

struct MessageMeaning
{
    MessageKind kind = MessageKind::Info;
    MessageTopic topic = MessageTopic::None;
    unsigned answers = OperatorAction::None;
};

// A message in both languages with what it means; the log shows the text in
// the operator's language.
struct Message
{
    TextPair text;
    MessageMeaning meaning;

    static Message info(const QString &zh, const QString &en,
                        MessageTopic topic = MessageTopic::None, unsigned answers = OperatorAction::None)
    {
        return { { zh, en }, { MessageKind::Info, topic, answers } };
    }
    static Message success(const QString &zh, const QString &en,
                           MessageTopic topic = MessageTopic::None, unsigned answers = OperatorAction::None)
    {
        return { { zh, en }, { MessageKind::Success, topic, answers } };
    }
    static Message warning(const QString &zh, const QString &en,
                           MessageTopic topic = MessageTopic::None, unsigned answers = OperatorAction::None)
    {
        return { { zh, en }, { MessageKind::Warning, topic, answers } };
    }
    static Message error(const QString &zh, const QString &en,
                         MessageTopic topic = MessageTopic::None, unsigned answers = OperatorAction::None)
    {
        return { { zh, en }, { MessageKind::Error, topic, answers } };
    }
};

// Where the controller's parts report to the operator, and where their
// diagnostic lines go.
class MessageSink
{
public:
    virtual ~MessageSink() = default;

    virtual void report(const Message &message) = 0;
    // For a message that line noise or a confused controller can repeat
    // without end: past a few a second the repeats are only counted, and once
    // they stop the count is reported under `floodName`.
    virtual void reportRepeatable(const Message &message, const TextPair &floodName) = 0;

    // Building a diagnostic line can cost more than the work it describes:
    // callers ask first whether anyone would read it.
    virtual bool diagnosticsHeard() const = 0;
    virtual void diagnostic(const QString &line) = 0;
};
