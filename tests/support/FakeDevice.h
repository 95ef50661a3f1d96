#pragma once

#include "device/DeviceLink.h"
#include "device/MessageSink.h"

#include <QByteArrayList>
#include <QStringList>
#include <QVector>

#include <functional>
#include <utility>

// The serial link as a controller's part sees it, without a port: frames are
// kept in the order sent, follow-ups wait until the test runs them.
class FakeDeviceLink : public DeviceLink
{
public:
    bool open = true;
    // Frames the port refuses while false.
    bool accepts = true;
    QByteArrayList sent;
    int refusals = 0;
    int paramBlocksNoted = 0;
    int versionsNoted = 0;

    struct FollowUp
    {
        int delayMs;
        std::function<void()> action;
    };
    QVector<FollowUp> followUps;

    bool isOpen() const override { return open; }
    bool require() override;
    bool send(const QByteArray &frame) override;
    void runWhileOpen(int delayMs, std::function<void()> action) override;
    void noteParamBlock() override { ++paramBlocksNoted; }
    void noteVersions() override { ++versionsNoted; }

    // Runs the follow-ups scheduled so far, oldest first, and returns their delays.
    QVector<int> runFollowUps();

    // Each frame sent from `from` on: a command as its sub-command and words ("A0 8001 1 10001 80010001"),
    // any other frame as its id ("C0").
    QStringList commandsSent(int from = 0) const;
};

// Keeps every message and diagnostic line reported to it.
class MessageRecorder : public MessageSink
{
public:
    QVector<Message> messages;
    // The floods' names, one for each message reported as repeatable.
    QVector<TextPair> floodNames;
    QStringList diagnostics;
    bool hearsDiagnostics = true;

    void report(const Message &message) override { messages << message; }
    void reportRepeatable(const Message &message, const TextPair &floodName) override;
    bool diagnosticsHeard() const override { return hearsDiagnostics; }
    void diagnostic(const QString &line) override { diagnostics << line; }

    QStringList english() const;
};
