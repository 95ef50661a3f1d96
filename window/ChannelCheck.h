#pragma once

#include <QObject>
#include <QVariantList>
#include <QVariantMap>

class AppBridge;

// A channel page's functions that share a channel, named for the operator
// before anything is written.
class ChannelCheck : public QObject
{
    Q_OBJECT

public:
    explicit ChannelCheck(AppBridge &bridge, QObject *parent = nullptr);

    // `rows`: { key, zh, en, channel } per function; `channelPrefix` "CH" or "PWM". Gives
    // { keys: the functions in a conflict, text: "Pitch and Center both on PWM3" }.
    Q_INVOKABLE QVariantMap check(const QVariantList &rows, const QString &channelPrefix) const;

private:
    AppBridge &m_bridge;
};
