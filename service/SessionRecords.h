#pragma once

#include "device/MessageSink.h"
#include "log/TabSeparated.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <deque>

// "info", "success", "error" or "warning", as the session's files name a message's kind.
QString messageKindName(MessageKind kind);

// A tab-separated file under its header. When older records made room for the
// newest, a first line says how many: "# 120 earlier entries were dropped".
QByteArray tabSeparatedFile(const QStringList &header, const QStringList &lines, qint64 dropped);

// The newest records of a session, never more than `capacity`: a session that
// runs for days keeps its memory bounded and still knows how much it let go.
template <typename Record>
class NewestRecords
{
public:
    explicit NewestRecords(int capacity) : m_capacity(capacity) {}

    void append(Record record)
    {
        if (int(m_records.size()) >= m_capacity) {
            m_records.pop_front();
            ++m_dropped;
        }
        m_records.push_back(std::move(record));
    }
    int size() const { return int(m_records.size()); }
    const Record &at(int index) const { return m_records.at(size_t(index)); }
    qint64 dropped() const { return m_dropped; }
    typename std::deque<Record>::const_iterator begin() const { return m_records.begin(); }
    typename std::deque<Record>::const_iterator end() const { return m_records.end(); }

private:
    int m_capacity;
    std::deque<Record> m_records;
    qint64 m_dropped = 0;
};

// Every message-log entry of the session, as the operator saw it. The window's
// log shows the last 500 and the operator may clear it or switch the language,
// which empties it; this record goes on regardless, up to MaxEntries.
class SessionMessages
{
public:
    // Some 250 bytes each in memory, 5 MB at most: three times the longest
    // session support has been asked about so far.
    static constexpr int MaxEntries = 20000;

    struct Record
    {
        QDateTime time;
        MessageKind kind = MessageKind::Info;
        QString language;
        QString text;
    };

    void add(Record record) { m_records.append(std::move(record)); }
    const NewestRecords<Record> &records() const { return m_records; }

    // messages.tsv: time, kind (info, success, error), language (zh, en), text.
    QByteArray toTabSeparated() const;

private:
    NewestRecords<Record> m_records {MaxEntries};
};
