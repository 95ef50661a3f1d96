#pragma once

#include "bridge/MessageLog.h"
#include "service/SessionRecords.h"
#include "window/PacedRows.h"

#include <QAbstractListModel>
#include <QList>

#include <functional>

class AppBridge;

// The message log as the window shows it: one row per entry with its kind, in
// the language it was written in, kept across a language switch. Holds as
// many entries as the bridge's own log; the session's record, for the
// diagnostics archive, holds every entry as shown, whatever is cleared.
class MessageJournal : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // The entries as the log view shows them, taken up a few times a second.
    Q_PROPERTY(QAbstractItemModel *shown READ shown CONSTANT)

public:
    enum Role { TextRole = Qt::UserRole + 1, KindRole };
    // Numbers as QML compares them.
    enum Kind {
        Info = int(MessageKind::Info),
        Success = int(MessageKind::Success),
        Error = int(MessageKind::Error),
        Warning = int(MessageKind::Warning)
    };
    Q_ENUM(Kind)

    static constexpr int MaxEntries = 500;

    explicit MessageJournal(AppBridge &bridge, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return m_entries.size(); }
    QAbstractItemModel *shown() const { return m_shown; }
    // All entries, one a line, as the operator would paste them.
    Q_INVOKABLE QString plainText() const;
    Q_INVOKABLE void copyAll() const;
    // Empties this log and the bridge's.
    Q_INVOKABLE void clear();
    // Asks for a file name and writes the log there; a failure is reported in the log, with its reason.
    Q_INVOKABLE void saveAs();
    bool saveTo(const QString &path, QString &error);
    const SessionMessages &session() const { return m_session; }

    using FileNameChooser = std::function<QString(const QString &title, const QString &suggested)>;
    void setFileNameChooser(FileNameChooser chooser) { m_chooseFileName = std::move(chooser); }

signals:
    void countChanged();
    void entryAdded(const MessageEntry &entry);

private:
    struct Entry
    {
        QString line;
        MessageKind kind;
        MessageTopic topic;
    };

    void takeOverBridgeLog();
    void append(const MessageEntry &entry);
    void keep(const MessageEntry &entry, MessageKind kind);
    MessageKind kindOf(const MessageEntry &entry) const;

    AppBridge &m_bridge;
    // A full journal drops its oldest entry with every new one: a list does that in place.
    QList<Entry> m_entries;
    SessionMessages m_session;
    FileNameChooser m_chooseFileName;
    PacedRows *m_shown = nullptr;
};
