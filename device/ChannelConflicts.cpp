#include "device/ChannelConflicts.h"

QVector<ChannelConflict> channelConflicts(const QVector<ChannelUse> &uses)
{
    QVector<ChannelConflict> conflicts;
    for (int i = 0; i < uses.size(); ++i) {
        for (int j = i + 1; j < uses.size(); ++j) {
            if (uses[i].channel != 0 && uses[i].channel == uses[j].channel)
                conflicts.append({uses[i].function, uses[j].function, uses[i].channel});
        }
    }
    return conflicts;
}
