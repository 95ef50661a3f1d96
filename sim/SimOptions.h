#pragma once

#include "sim/PtyLink.h"
#include "sim/SimConfig.h"
#include "sim/SimHost.h"

#include <QString>

class QCommandLineParser;

struct SimOptions
{
    SimConfig device;
    LinkOptions link;
    HostOptions host;
    QString linkPath;
};

void addSimOptions(QCommandLineParser &parser);
// False with `error` set when a value is not usable.
bool readSimOptions(const QCommandLineParser &parser, SimOptions &options, QString &error);
// "1.0.0.60" -> 0x0100003C; false unless four numbers 0..255.
bool parseDottedVersion(const QString &text, quint32 &word);
