#pragma once

#include <QObject>
#include <QTimer>

class AppBridge;

// Reads the controller's parameter block afresh: asks now, and again once a
// second until a block newer than the start arrives, giving up `timeoutMs`
// after the first ask. `arrived` comes after the bridge has reported the
// block, so a slot can read it at once.
class ParamReadBack : public QObject
{
    Q_OBJECT

public:
    static constexpr int ResendIntervalMs = 1000;

    explicit ParamReadBack(AppBridge &bridge, QObject *parent = nullptr);

    void start(int timeoutMs);
    void stop();
    bool isActive() const { return m_resend.isActive(); }

signals:
    // Just before each request; a caller adds what the read needs besides.
    void asking();
    void arrived();
    void timedOut();

private:
    void ask();
    void onParamsChanged();

    AppBridge &m_bridge;
    QTimer m_resend;
    int m_blocksBefore = 0;
    int m_timeoutMs = 0;
    int m_askedForMs = 0;
};
