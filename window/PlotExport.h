#pragma once

#include "service/FileChooser.h"

#include <QByteArray>
#include <QObject>

class AppBridge;
class TelemetryHistory;

// "Export CSV" in the plots drawer: the samples the plot shows, one row each,
// for a spreadsheet or a script. Numbers always with a "." whatever the
// locale, so a file reads the same everywhere; the header follows the window's
// language like everything else the operator sees.
class PlotExport : public QObject
{
    Q_OBJECT

public:
    PlotExport(const TelemetryHistory &history, AppBridge &bridge, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Time in seconds before the plot's right edge (as its axis reads), then pitch, roll and yaw in degrees.
    QByteArray csv() const;

    // Asks where, then writes and reports in the message log.
    Q_INVOKABLE void exportCsv();
    // The same without the dialog. A file that cannot be written leaves any earlier one as it was.
    bool exportTo(const QString &path);

private:
    const TelemetryHistory &m_history;
    AppBridge &m_bridge;
    FileChooser m_chooseFile;
};
