#include "window/FieldEdits.h"

#include "service/ParamFieldNames.h"

#include <QStringList>

#include <algorithm>

int FieldEdits::count() const
{
    return int(std::count_if(m_fields.cbegin(), m_fields.cend(), [](const Field &field) { return field.edited(); }));
}

int FieldEdits::unconfirmedCount() const
{
    return int(std::count_if(m_fields.cbegin(), m_fields.cend(),
                             [](const Field &field) { return field.unconfirmed(); }));
}

void FieldEdits::setDevice(const QString &field, const QVariant &value)
{
    auto it = m_fields.find(field);
    if (it == m_fields.end()) {
        m_fields.insert(field, { value, value, QVariant(), m_controllerEpoch });
        touch();
        return;
    }
    if (it->device == value)
        return;
    if (!it->edited() && !it->unconfirmed())
        it->shown = value;
    it->device = value;
    touch();
}

void FieldEdits::setShown(const QString &field, const QVariant &value)
{
    auto it = m_fields.find(field);
    if (it == m_fields.end() || it->shown == value)
        return;
    it->shown = value;
    it->epoch = m_controllerEpoch;
    touch();
}

void FieldEdits::setControllerEpoch(int epoch)
{
    if (epoch == m_controllerEpoch)
        return;
    m_controllerEpoch = epoch;
    touch();
}

bool FieldEdits::madeForOtherController() const
{
    return std::any_of(m_fields.cbegin(), m_fields.cend(),
                       [this](const Field &field) { return field.edited() && field.epoch != m_controllerEpoch; });
}

QString FieldEdits::editedSummary(const QString &language) const
{
    const bool chinese = language == QLatin1String("zh");
    QStringList edits;
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it) {
        if (!it->edited())
            continue;
        const QString key = paramFieldKey(m_panel, it.key());
        if (key.isEmpty()) {
            edits << QStringLiteral("%1 %2").arg(it.key(), it->shown.toString());
            continue;
        }
        const TextPair label = paramFieldPlace(key).label;
        const TextPair value = paramValueText(key, it->shown.toInt());
        edits << (chinese ? label.zh + QLatin1Char(' ') + value.zh : label.en + QLatin1Char(' ') + value.en);
    }
    edits.sort();
    return edits.join(chinese ? QStringLiteral("，") : QStringLiteral(", "));
}

QStringList FieldEdits::editedFields() const
{
    QStringList names;
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it) {
        if (it->edited())
            names << it.key();
    }
    return names;
}

QVariant FieldEdits::shown(const QString &field) const
{
    return m_fields.value(field).shown;
}

QVariant FieldEdits::device(const QString &field) const
{
    return m_fields.value(field).device;
}

bool FieldEdits::isEdited(const QString &field) const
{
    return m_fields.value(field).edited();
}

bool FieldEdits::isUnconfirmed(const QString &field) const
{
    return m_fields.value(field).unconfirmed();
}

// A written field keeps waiting for its read-back when it already shows the
// controller's value.
void FieldEdits::revert()
{
    for (Field &field : m_fields) {
        field.shown = field.device;
        if (field.written != field.shown)
            field.written = QVariant();
    }
    touch();
}

void FieldEdits::markWritten(const QString &prefix)
{
    bool marked = false;
    for (auto it = m_fields.begin(); it != m_fields.end(); ++it) {
        if (it.key().startsWith(prefix) && it->edited()) {
            it->written = it->shown;
            marked = true;
        }
    }
    if (marked)
        touch();
}

void FieldEdits::confirmWritten()
{
    bool settled = false;
    for (Field &field : m_fields) {
        if (!field.written.isValid())
            continue;
        field.written = QVariant();
        settled = true;
    }
    if (settled)
        touch();
}

void FieldEdits::settleRestored(const QStringList &paramFields)
{
    bool settled = false;
    for (const QString &paramField : paramFields) {
        const ParamFieldPlace place = paramFieldPlace(paramField);
        if (place.panel.isEmpty() || place.panel != m_panel)
            continue;
        auto it = m_fields.find(place.field);
        if (it == m_fields.end())
            continue;
        it->shown = it->device;
        it->written = QVariant();
        settled = true;
    }
    if (settled)
        touch();
}

void FieldEdits::touch()
{
    ++m_revision;
    emit changed();
}
