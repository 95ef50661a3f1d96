#pragma once

#include <QAbstractListModel>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QVector>

// The rows of a list model as a view shows them: the source's new rows are
// taken up together, at most a few times a second, so a burst of hundreds of
// rows a second costs the window a few layouts and repaints rather than one
// each. A lone row is taken up on the next turn of the event loop. Nothing is
// lost or reordered: every row comes in the order the source added it, and the
// oldest go once more than `maxRows` are held, as they do in the source. Made
// for a source that only appends rows, drops its oldest beyond `maxRows` and
// resets; a reset is taken up at once.
class PacedRows : public QAbstractListModel
{
    Q_OBJECT

public:
    // As often as an operator can follow new lines, well below the frame rate.
    static constexpr int MaxUpdatesPerSecond = 5;
    static constexpr int IntervalMs = 1000 / MaxUpdatesPerSecond;

    PacedRows(QAbstractItemModel &source, int maxRows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    using Row = QVector<QVariant>;   // the source's values, in the order of m_roles

    Row sourceRow(int row) const;
    void takeInserted(const QModelIndex &parent, int first, int last);
    void takeReset();
    void catchUp();

    QAbstractItemModel &m_source;
    const int m_maxRows;
    QVector<int> m_roles;
    QList<Row> m_rows;
    QList<Row> m_waiting;
    QTimer m_catchUp;
    QElapsedTimer m_sinceCatchUp;
};
