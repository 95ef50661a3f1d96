#include "window/PacedRows.h"

PacedRows::PacedRows(QAbstractItemModel &source, int maxRows, QObject *parent)
    : QAbstractListModel(parent)
    , m_source(source)
    , m_maxRows(maxRows)
    , m_roles(source.roleNames().keys().toVector())
{
    m_catchUp.setSingleShot(true);
    connect(&m_catchUp, &QTimer::timeout, this, &PacedRows::catchUp);
    connect(&source, &QAbstractItemModel::rowsInserted, this, &PacedRows::takeInserted);
    connect(&source, &QAbstractItemModel::modelReset, this, &PacedRows::takeReset);
    takeReset();
}

int PacedRows::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant PacedRows::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    return m_rows.at(index.row()).value(m_roles.indexOf(role));
}

QHash<int, QByteArray> PacedRows::roleNames() const
{
    return m_source.roleNames();
}

PacedRows::Row PacedRows::sourceRow(int row) const
{
    const QModelIndex index = m_source.index(row, 0);
    Row values;
    values.reserve(m_roles.size());
    for (const int role : m_roles)
        values.append(m_source.data(index, role));
    return values;
}

void PacedRows::takeInserted(const QModelIndex &parent, int first, int last)
{
    if (parent.isValid())
        return;
    for (int row = first; row <= last; ++row)
        m_waiting.append(sourceRow(row));
    if (m_catchUp.isActive())
        return;
    const qint64 sinceLast = m_sinceCatchUp.isValid() ? m_sinceCatchUp.elapsed() : IntervalMs;
    m_catchUp.start(int(qMax<qint64>(0, IntervalMs - sinceLast)));
}

void PacedRows::takeReset()
{
    m_catchUp.stop();
    beginResetModel();
    m_rows.clear();
    m_waiting.clear();
    const int rows = m_source.rowCount();
    for (int row = qMax(0, rows - m_maxRows); row < rows; ++row)
        m_rows.append(sourceRow(row));
    endResetModel();
}

void PacedRows::catchUp()
{
    m_sinceCatchUp.start();
    if (m_waiting.isEmpty())
        return;
    if (m_waiting.size() > m_maxRows)
        m_waiting.erase(m_waiting.begin(), m_waiting.end() - m_maxRows);
    const int excess = m_rows.size() + m_waiting.size() - m_maxRows;
    if (excess > 0) {
        beginRemoveRows(QModelIndex(), 0, excess - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + excess);
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + m_waiting.size() - 1);
    m_rows += m_waiting;
    m_waiting.clear();
    endInsertRows();
}
