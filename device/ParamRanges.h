#pragma once

#include "device/TextPair.h"

#include <QString>

// The values a setting may take, as the panels offer them: what the
// controller's motors and receivers are built for. A value outside its range
// is never written, whether it came from a file or from the controller itself.
struct ParamRange
{
    int minimum = 0;
    int maximum = -1;   // an unknown field takes no value at all

    bool contains(int value) const { return value >= minimum && value <= maximum; }
    // "1..30000"
    QString text() const { return QStringLiteral("%1..%2").arg(minimum).arg(maximum); }
};

namespace ParamRanges {
// By the parameter file's field name ("gimbal.rollMaxTorque").
ParamRange of(const QString &field);
// "value 40000 out of range 1..30000"
TextPair outOfRange(double value, const ParamRange &range);
}
