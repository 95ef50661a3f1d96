#include "window/PlotExport.h"

#include "bridge/AppBridge.h"
#include "device/WholeFile.h"
#include "window/TelemetryHistory.h"

#include <QDateTime>
#include <QDir>

namespace {
QString number(double value)
{
    return QString::number(value, 'f', 3);
}
}

PlotExport::PlotExport(const TelemetryHistory &history, AppBridge &bridge, QObject *parent)
    : QObject(parent), m_history(history), m_bridge(bridge)
{
}

QByteArray PlotExport::csv() const
{
    const Language &language = m_bridge.languageSetting();
    QString text = language.localized(QStringLiteral("时间 (s),俯仰 (°),横滚 (°),航向 (°)\n"),
                                      QStringLiteral("time (s),pitch (°),roll (°),yaw (°)\n"));
    const qint64 endMs = m_history.endMs();
    for (int i = 0; i < m_history.sampleCount(); ++i) {
        const TelemetryHistory::Sample &sample = m_history.sample(i);
        text += QStringList {number((sample.ms - endMs) / 1000.0), number(sample.pitch), number(sample.roll),
                             number(sample.yaw)}
                    .join(QLatin1Char(','))
            + QLatin1Char('\n');
    }
    return text.toUtf8();
}

void PlotExport::exportCsv()
{
    if (!m_chooseFile)
        return;
    const Language &language = m_bridge.languageSetting();
    const QString name = QStringLiteral("tavox-plots_%1.csv")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = m_chooseFile(FileDialogMode::Save, language.localized(QStringLiteral("导出 CSV"), QStringLiteral("Export CSV")),
                                      QDir::home().filePath(name),
                                      language.localized(QStringLiteral("CSV 文件 (*.csv)"), QStringLiteral("CSV files (*.csv)")));
    if (!path.isEmpty())
        exportTo(path);
}

bool PlotExport::exportTo(const QString &path)
{
    QString error;
    const QString shown = QDir::toNativeSeparators(path);
    if (!WholeFile::replace(path, csv(), error)) {
        m_bridge.messages().report(Message::error(QStringLiteral("无法导出曲线到 %1: %2").arg(shown, error),
                                                 QStringLiteral("Could not export the plots to %1: %2").arg(shown, error)));
        return false;
    }
    m_bridge.messages().report(Message::success(QStringLiteral("曲线已导出到 %1").arg(shown),
                                               QStringLiteral("Plots exported to %1").arg(shown)));
    return true;
}
