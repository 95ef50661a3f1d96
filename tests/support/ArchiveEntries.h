#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// What `unzip` finds in a zip archive: the names of its entries, sorted, or one line saying why it failed.
QStringList archivedNames(const QString &archive);

// Every byte of the entry `name`, NULs included; empty when there is none.
QByteArray archived(const QString &archive, const QString &name);

// The tab-separated lines of an archived record, the header first; a field's escapes left as written.
QVector<QStringList> archivedTable(const QString &archive, const QString &name);
