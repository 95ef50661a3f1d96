#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class SimProcess;

// A file saved by `tavoxctl params save` with some of its values changed,
// each named "group.field" ("gimbal.pitchMaxTorque").
QByteArray withValues(const QByteArray &saved, const QVector<QPair<QString, int>> &values);

// The controller's parameters saved to `path` with each of `fields` one more
// than the controller holds.
bool saveWithFieldsRaised(const SimProcess &sim, const QString &path, const QStringList &fields);
