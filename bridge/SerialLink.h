#pragma once

#include "bridge/LinkSession.h"
#include "bridge/Uartcore.h"
#include "device/DeviceLink.h"
#include "device/MessageSink.h"

// The serial port and the open it is on, as the controller's parts send
// through it. A frame for a closed port is refused with the operator told
// to open one.
class SerialLink : public DeviceLink
{
public:
    explicit SerialLink(MessageSink &messages);

    Uartcore &port() { return m_port; }
    const Uartcore &port() const { return m_port; }
    LinkSession &session() { return m_session; }
    const LinkSession &session() const { return m_session; }

    bool isOpen() const override { return m_session.isOpen(); }
    bool require() override;
    bool send(const QByteArray &frame) override;
    void runWhileOpen(int delayMs, std::function<void()> action) override;
    void noteParamBlock() override { m_session.noteParamBlock(); }
    void noteVersions() override { m_session.noteVersions(); }

    void reportPortRequired();

private:
    MessageSink &m_messages;
    Uartcore m_port;
    LinkSession m_session;
};
