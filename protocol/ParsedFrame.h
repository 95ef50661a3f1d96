#pragma once

#include <QByteArray>
#include <QtGlobal>

// One checked frame as the receive path hands it to the handlers.
struct ParsedFrame
{
    quint8 version = 0;
    quint8 commandId = 0;
    quint16 sequence = 0;
    quint8 commandSet = 0;
    quint8 v1CommandId = 0;
    QByteArray payload;
    bool valid = false;
};
