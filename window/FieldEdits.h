#pragma once

#include <QHash>
#include <QObject>
#include <QVariant>

// A panel's fields as the operator edits them against the controller's
// values. A field the operator changed stays as typed when new controller
// values arrive (a read, another panel's write). Once written it is
// "unconfirmed" until a parameter block from the controller arrives: the
// bridge takes written values into its copy at once, whether the controller
// keeps them or not, so only a read-back can tell.
class FieldEdits : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY changed)
    Q_PROPERTY(int unconfirmedCount READ unconfirmedCount NOTIFY changed)
    Q_PROPERTY(int revision READ revision NOTIFY changed)
    // The panel whose fields these are, as the parameter file's fields name it ("camera").
    Q_PROPERTY(QString panel MEMBER m_panel NOTIFY panelChanged)
    // Which controller the operator is editing for (ControllerWatch's epoch).
    Q_PROPERTY(int controllerEpoch READ controllerEpoch WRITE setControllerEpoch NOTIFY changed)
    // Edits made while another controller was attached: writing them asks first.
    Q_PROPERTY(bool madeForOtherController READ madeForOtherController NOTIFY changed)

public:
    using QObject::QObject;

    // Fields changed and not written.
    int count() const;
    // Fields written and not yet read back.
    int unconfirmedCount() const;
    int revision() const { return m_revision; }
    int controllerEpoch() const { return m_controllerEpoch; }
    void setControllerEpoch(int epoch);
    bool madeForOtherController() const;

    // The controller's value of `field` as the bridge holds it; the field shows it unless edited.
    Q_INVOKABLE void setDevice(const QString &field, const QVariant &value);
    // The operator's value of `field`.
    Q_INVOKABLE void setShown(const QString &field, const QVariant &value);
    Q_INVOKABLE QVariant shown(const QString &field) const;
    Q_INVOKABLE QVariant device(const QString &field) const;
    Q_INVOKABLE bool isEdited(const QString &field) const;
    Q_INVOKABLE bool isUnconfirmed(const QString &field) const;
    Q_INVOKABLE void revert();
    // The edited fields as the panel labels them, with their values, "Roll Torque 12345, Yaw Torque 200", in
    // `language` ("zh" or "en"), for a question that names them.
    Q_INVOKABLE QString editedSummary(const QString &language) const;
    // The names of the edited fields.
    QStringList editedFields() const;
    // The edited fields whose names start with `prefix` are about to be written.
    Q_INVOKABLE void markWritten(const QString &prefix = QString());
    // The bridge's values now come from the controller: a written field that
    // matches is settled, one that does not is an edit again.
    Q_INVOKABLE void confirmWritten();
    // The controller now holds these parameter file fields as restored: this
    // panel's among them show the controller's value, edited no longer.
    Q_INVOKABLE void settleRestored(const QStringList &paramFields);

signals:
    void changed();
    void panelChanged();

private:
    struct Field
    {
        QVariant device;
        QVariant shown;
        // What was written, while no read-back has confirmed it.
        QVariant written;
        // The controller epoch the operator last edited it in.
        int epoch = 0;
        bool unconfirmed() const { return written.isValid() && shown == written; }
        bool edited() const { return shown != device && !unconfirmed(); }
    };

    void touch();

    QString m_panel;
    QHash<QString, Field> m_fields;
    int m_revision = 0;
    int m_controllerEpoch = 0;
};
