#include "support/UpgradeOptions.h"

#include <QtGlobal>

bool takeUpgradeOption(const QString &name, const QString &value, UpgradeOptions &options)
{
    if (name == QLatin1String("--kib"))
        options.kibibytes = qMax(1, value.toInt());
    else if (name == QLatin1String("--baud"))
        options.baud = qMax(1200, value.toInt());
    else
        return false;
    return true;
}
