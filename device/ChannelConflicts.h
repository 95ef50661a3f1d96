#pragma once

#include <QString>
#include <QVector>

// One function of a receiver (pitch, centre…) and the channel it listens on; 0 is none.
struct ChannelUse
{
    QString function;
    int channel = 0;
};

// Two functions of one receiver on one channel: the controller would move both with one stick.
struct ChannelConflict
{
    QString first;
    QString second;
    int channel = 0;
};

// Every pair of `uses` on the same channel, in the order the uses are given. No channel never conflicts.
QVector<ChannelConflict> channelConflicts(const QVector<ChannelUse> &uses);
