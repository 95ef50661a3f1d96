#pragma once

#include <QString>

// The options every upgrade benchmark takes: --kib N, the image's size, and
// --baud N, the line rate of the simulated controller.
struct UpgradeOptions
{
    int kibibytes = 1024;
    int baud = 921600;
};

// Takes `name` with its `value` when it is one of those options; false for any other.
bool takeUpgradeOption(const QString &name, const QString &value, UpgradeOptions &options);
