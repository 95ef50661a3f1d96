#pragma once

#include "device/TextPair.h"

#include <QString>

// Where the window shows a field of a parameter file: the panel, the name the
// panel's edits know it by, and the label the operator reads beside it. The
// key ("camera.position") is the file's; the label is the panel's, so a
// difference names a field as the operator knows it.
struct ParamFieldPlace
{
    QString panel;   // "channel", "gimbal", "torque", "camera"; empty when no panel shows it
    QString field;   // the panel's own name of the field
    TextPair label;
};

// A key no panel knows has no panel, and the key itself for a label.
ParamFieldPlace paramFieldPlace(const QString &key);
// The file's key of a panel's field ("torque", "roll" -> "gimbal.rollMaxTorque"); empty when none.
QString paramFieldKey(const QString &panel, const QString &field);

// A value as the panel shows it: "CH3", "PWM1", "NONE", "Angle", "Normal",
// "Camera Top"; a number where the panel shows numbers, and for any value
// outside the field's range, which the panel has no name for.
TextPair paramValueText(const QString &key, int value);
