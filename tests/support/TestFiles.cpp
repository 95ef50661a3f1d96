#include "support/TestFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QVector>

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray countingBytes(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

QByteArray randomImage(int size)
{
    QVector<quint32> words(size / 4 + 1);
    QRandomGenerator(quint32(size)).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

QString gimbalLink(const QString &dir, const QString &port)
{
    const QString link = dir + QStringLiteral("/gimbal");
    return QFile::link(port, link) ? link : QString();
}
