#include "window/MessageJournal.h"

#include "bridge/AppBridge.h"
#include "device/WholeFile.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>

namespace {
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
    m_shown = new PacedRows(*this, MaxEntries, this);
    connect(&m_bridge.messages(), &MessageLog::entryAdded, this, &MessageJournal::append);
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
MessageKind MessageJournal::kindOf(const MessageEntry &entry) const
{
    const MessageMeaning &meaning = entry.meaning;
    const bool followsStart = !m_entries.isEmpty() && m_entries.last().topic == MessageTopic::Started;
    if (meaning.topic == MessageTopic::PortRequired && followsStart)
        return MessageKind::Info;
    return meaning.kind;
}

void MessageJournal::append(const MessageEntry &entry)
{
    const MessageKind kind = kindOf(entry);
    if (m_entries.size() >= MaxEntries) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_entries.removeFirst();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_entries.size(), m_entries.size());
    keep(entry, kind);
    endInsertRows();
    emit countChanged();
    emit entryAdded(entry);
}

// The bridge writes its first entries before the window exists; they belong
// in the journal as much as every later one.
void MessageJournal::takeOverBridgeLog()
{
    for (const MessageEntry &entry : m_bridge.messages().entries())
        keep(entry, kindOf(entry));
}

void MessageJournal::keep(const MessageEntry &entry, MessageKind kind)
{
    m_entries.append({ entry.line, kind, entry.meaning.topic });
    m_session.add({ entry.time, kind, entry.language, entry.text });
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
    const Language &language = m_bridge.languageSetting();
    const QString title = language.localized(QStringLiteral("保存消息"), QStringLiteral("Save messages"));
    const QString suggested = QDir::home().filePath(QStringLiteral("tavox-messages.txt"));
    const QString path = m_chooseFileName ? m_chooseFileName(title, suggested) : chooseWithDialog(title, suggested);
    if (path.isEmpty())
        return;
    QString error;
    if (saveTo(path, error))
        m_bridge.messages().report(
            Message::success(QStringLiteral("消息已保存: ") + path, QStringLiteral("Messages saved: ") + path));
    else
        m_bridge.messages().report(Message::error(QStringLiteral("消息无法保存: %1 (%2)").arg(path, error),
                                                  QStringLiteral("Messages could not be saved: %1 (%2)").arg(path, error)));
}

// Written whole or not at all: a failed save never leaves half a file behind.
bool MessageJournal::saveTo(const QString &path, QString &error)
{
    return WholeFile::replace(path, plainText().toUtf8() + '\n', error);
}
