#include "bridge/SerialLink.h"

#include "protocol/FrameCodec.h"

SerialLink::SerialLink(MessageSink &messages)
    : m_messages(messages)
{
}

bool SerialLink::require()
{
    if (isOpen())
        return true;
    reportPortRequired();
    return false;
}

void SerialLink::reportPortRequired()
{
    m_messages.report(Message::error(QStringLiteral("请您先打开串口"), QStringLiteral("Please open serial port first"),
                                     MessageTopic::PortRequired, OperatorAction::AnyDeviceAction));
}

bool SerialLink::send(const QByteArray &frame)
{
    if (!require())
        return false;
    // An upgrade sends thousands of frames: their hex text is built only for someone who reads it.
    if (m_messages.diagnosticsHeard())
        m_messages.diagnostic(QStringLiteral("[DIAG-HEX] TX(%1B): %2").arg(frame.size()).arg(toHexText(frame)));
    return m_port.write(frame);
}

void SerialLink::runWhileOpen(int delayMs, std::function<void()> action)
{
    m_session.runWhileOpen(delayMs, std::move(action));
}
