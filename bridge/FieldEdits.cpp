#include "bridge/FieldEdits.h"

#include <algorithm>

int FieldEdits::count() const
{
    return int(std::count_if(m_fields.cbegin(), m_fields.cend(), [](const Field &field) { return field.edited(); }));
}

void FieldEdits::setDevice(const QString &field, const QVariant &value)
{
    auto it = m_fields.find(field);
    if (it == m_fields.end()) {
        m_fields.insert(field, { value, value });
        touch();
        return;
    }
    if (it->device == value)
        return;
    if (!it->edited())
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
    touch();
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

void FieldEdits::revert()
{
    for (Field &field : m_fields)
        field.shown = field.device;
    touch();
}

void FieldEdits::touch()
{
    ++m_revision;
    emit changed();
}
