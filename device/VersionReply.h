#pragma once

#include <QByteArray>
#include <QString>

// The controller's answer to a version query, as dotted texts.
struct VersionReply
{
    QString boot;
    QString firmware;
};

// "%1.%2.%3.%4", most significant byte first, each without leading zeros.
QString formatVersionWord(quint32 word);

// False when the payload is too short to carry both words (8 bytes).
bool decodeVersionReply(const QByteArray &payload, VersionReply &reply);
