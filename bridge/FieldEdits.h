#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>

// A panel's fields as the operator edits them against the controller's
// values. A field the operator changed stays as typed when new controller
// values arrive (a read, another panel's write); it stops being edited when
// the controller's value comes to equal it, or on revert.
class FieldEdits : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY changed)
    Q_PROPERTY(int revision READ revision NOTIFY changed)

public:
    using QObject::QObject;

    int count() const;
    int revision() const { return m_revision; }

    // The controller's value of `field`; the field shows it unless edited.
    Q_INVOKABLE void setDevice(const QString &field, const QVariant &value);
    // The operator's value of `field`.
    Q_INVOKABLE void setShown(const QString &field, const QVariant &value);
    Q_INVOKABLE QVariant shown(const QString &field) const;
    Q_INVOKABLE QVariant device(const QString &field) const;
    Q_INVOKABLE bool isEdited(const QString &field) const;
    Q_INVOKABLE void revert();

signals:
    void changed();

private:
    struct Field
    {
        QVariant device;
        QVariant shown;
        bool edited() const { return shown != device; }
    };

    void touch();

    QHash<QString, Field> m_fields;
    int m_revision = 0;
};
