#include "support/SavedParams.h"

#include "support/CtlRun.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray withValues(const QByteArray &saved, const QVector<QPair<QString, int>> &values)
{
    QJsonObject root = QJsonDocument::fromJson(saved).object();
    QJsonObject params = root.value(QStringLiteral("params")).toObject();
    for (const auto &value : values) {
        const QStringList path = value.first.split(QLatin1Char('.'));
        QJsonObject group = params.value(path.at(0)).toObject();
        group.insert(path.at(1), value.second);
        params.insert(path.at(0), group);
    }
    root.insert(QStringLiteral("params"), params);
    return QJsonDocument(root).toJson();
}

bool saveWithFieldsRaised(const SimProcess &sim, const QString &path, const QStringList &fields)
{
    if (runOn(sim, {QStringLiteral("params"), QStringLiteral("save"), path}).exitCode != 0)
        return false;
    const QJsonObject params = jsonOf(QString::fromUtf8(readFile(path))).value(QStringLiteral("params")).toObject();
    QVector<QPair<QString, int>> raised;
    for (const QString &field : fields) {
        const QStringList names = field.split(QLatin1Char('.'));
        raised.append({field, params.value(names.at(0)).toObject().value(names.at(1)).toInt() + 1});
    }
    return writeFile(path, withValues(readFile(path), raised));
}
