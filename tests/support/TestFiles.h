#pragma once

#include <QByteArray>
#include <QString>

// Whole-file helpers for tests that build their own files: empty on failure.
QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);
