#include "window/MessageJournal.h"

#include "bridge/AppBridge.h"
#include "device/WholeFile.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QRegularExpression>

namespace {
// The time stamp that starts every entry of the bridge's log.
const QRegularExpression EntryStart(QStringLiteral("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] "));

QString chooseWithDialog(const QString &title, const QString &suggested)
{
    return QFileDialog::getSaveFileName(nullptr, title, suggested, QStringLiteral("Text (*.txt);;All (*.*)"));
}
}

MessageJournal::MessageJournal(AppBridge &bridge, QObject *parent)
    : QAbstractListModel(parent)
    , m_bridge(bridge)
{
    takeOverBridgeLog();
    m_bridge.setMessageObserver([this](const QString &text, const QString &entry) { append(text, entry); });
}

MessageJournal::~MessageJournal()
{
    m_bridge.setMessageObserver(nullptr);
}

int MessageJournal::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QVariant MessageJournal::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return QVariant();
    const Entry &entry = m_entries.at(index.row());
    if (role == TextRole || role == Qt::DisplayRole)
        return entry.line;
    if (role == KindRole)
        return int(entry.kind);
    return QVariant();
}

QHash<int, QByteArray> MessageJournal::roleNames() const
{
    return { { TextRole, "text" }, { KindRole, "kind" } };
}

// The tool greets the operator with the same words it refuses an action with
// when no port is open; straight after the start-up entry they are a hint.
MessageKind MessageJournal::kindOf(const MessageClass &messageClass) const
{
    const bool followsStart = !m_entries.isEmpty()
        && (m_entries.last().line.endsWith(QStringLiteral("应用已启动"))
            || m_entries.last().line.endsWith(QStringLiteral("Application started")));
    if (messageClass.topic == MessageTopic::PortRequired && followsStart)
        return MessageKind::Info;
    return messageClass.kind;
}

void MessageJournal::append(const QString &text, const QString &entry)
{
    const MessageClass messageClass = classifyMessage(text);
    const MessageKind kind = kindOf(messageClass);
    if (m_entries.size() >= MaxEntries) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_entries.removeFirst();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_entries.size(), m_entries.size());
    m_entries.append({ entry, kind });
    endInsertRows();
    emit countChanged();
    emit entryAdded(text, messageClass);
}

// The bridge writes its first entries before the window exists; they belong
// in the journal as much as every later one. A line without a time stamp
// continues the entry before it.
void MessageJournal::takeOverBridgeLog()
{
    const QString log = m_bridge.messageLog();
    if (log.isEmpty())
        return;
    for (const QString &line : log.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch stamp = EntryStart.match(line);
        if (stamp.hasMatch() || m_entries.isEmpty()) {
            const QString text = line.mid(stamp.capturedLength());
            m_entries.append({ line, kindOf(classifyMessage(text)) });
        } else {
            m_entries.last().line += QLatin1Char('\n') + line;
        }
    }
}

QString MessageJournal::plainText() const
{
    QStringList lines;
    lines.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        lines.append(entry.line);
    return lines.join(QLatin1Char('\n'));
}

void MessageJournal::copyAll() const
{
    QGuiApplication::clipboard()->setText(plainText());
}

void MessageJournal::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
    emit countChanged();
    m_bridge.clearMessages();
}

void MessageJournal::saveAs()
{
    const bool zh = m_bridge.language() == QLatin1String("zh");
    const QString title = zh ? QStringLiteral("保存消息") : QStringLiteral("Save messages");
    const QString suggested = QDir::home().filePath(QStringLiteral("tavox-messages.txt"));
    const QString path = m_chooseFileName ? m_chooseFileName(title, suggested) : chooseWithDialog(title, suggested);
    if (path.isEmpty())
        return;
    QString error;
    if (saveTo(path, error))
        m_bridge.appendMessage((zh ? QStringLiteral("消息已保存: ") : QStringLiteral("Messages saved: ")) + path);
    else
        m_bridge.appendMessage((zh ? QStringLiteral("消息无法保存: %1 (%2)")
                                   : QStringLiteral("Messages could not be saved: %1 (%2)")).arg(path, error));
}

// Written whole or not at all: a failed save never leaves half a file behind.
bool MessageJournal::saveTo(const QString &path, QString &error)
{
    return WholeFile::replace(path, plainText().toUtf8() + '\n', error);
}
