#pragma once

#include <QObject>

// The allowed values of the controller's settings for the panels, by the
// parameter file's field names: the inputs' limits and the combos' lists
// come from here, and a controller's value outside them is shown marked.
class ParamRangeTable : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE int minimum(const QString &field) const;
    Q_INVOKABLE int maximum(const QString &field) const;
    Q_INVOKABLE bool contains(const QString &field, int value) const;
};
