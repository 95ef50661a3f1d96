#pragma once

#include "bridge/Language.h"
#include "bridge/MessageThrottle.h"
#include "device/MessageSink.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVector>

// One entry of the message log.
struct MessageEntry
{
    QString text;    // as the operator reads it
    QString line;    // the text behind its time stamp
    MessageMeaning meaning;
    QDateTime time;     // local, with its offset from UTC; the stamp's own moment
    QString language;   // "zh" or "en": the one the text was chosen in
    QString english;    // the text in English; the text itself when it came in one language only
};
// Dropping the oldest entry moves the others in one block, as a full log does with every new one.
Q_DECLARE_TYPEINFO(MessageEntry, Q_MOVABLE_TYPE);

// The bilingual message log: every entry is stamped with the local time,
// echoed to the console (or the debug output), kept in the log's text and
// announced with its meaning. The text keeps fewer than SeparatorLimit line
// separators, dropping the oldest entries.
class MessageLog : public QObject, public MessageSink
{
    Q_OBJECT

public:
    static constexpr int SeparatorLimit = 500;

    explicit MessageLog(const Language &language, QObject *parent = nullptr);

    const QString &text() const { return m_text; }
    // The entries the text holds whole.
    const QVector<MessageEntry> &entries() const { return m_entries; }
    void clear();

    // For a text already in the operator's language.
    void append(const QString &text, const MessageMeaning &meaning = {});

    void report(const Message &message) override;
    void reportRepeatable(const Message &message, const TextPair &floodName) override;
    bool diagnosticsHeard() const override;
    void diagnostic(const QString &line) override;

signals:
    // Before the entry joins the text.
    void entryAdded(const MessageEntry &entry);
    // Once per change, after the call that made it has returned.
    void textChanged();

private:
    struct Flood
    {
        TextPair name;
        MessageMeaning meaning;
    };

    void add(const QString &text, const QString &english, const MessageMeaning &meaning);
    void dropOldestLines();
    void reportEndedFloods();

    const Language &m_language;
    QString m_text;
    int m_separators = 0;   // in m_text, counted as they come and go rather than scanned for
    QVector<MessageEntry> m_entries;
    MessageThrottle m_throttle;
    QHash<QString, Flood> m_floods;
    QTimer m_floodEndCheck;
    QElapsedTimer m_monotonic;
};
