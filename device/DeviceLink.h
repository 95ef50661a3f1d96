#pragma once

#include <QByteArray>

#include <functional>

// The serial link as the controller's parts use it.
class DeviceLink
{
public:
    virtual ~DeviceLink() = default;

    virtual bool isOpen() const = 0;
    // True when the link is open; otherwise asks the operator to open the port first.
    virtual bool require() = 0;
    // False when the link is closed (the operator is asked to open it) or the port refused the frame.
    virtual bool send(const QByteArray &frame) = 0;
    // Runs `action` after `delayMs` unless the link is closed or reopened
    // first: a follow-up belongs to the controller it was meant for.
    virtual void runWhileOpen(int delayMs, std::function<void()> action) = 0;
    // What the controller reported belongs to the open it came on: after a
    // reopen another controller may be on the line.
    virtual void noteParamBlock() = 0;
    virtual void noteVersions() = 0;
};
