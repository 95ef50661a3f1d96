#include "window/ServiceTools.h"

#include "app/StandardLocations.h"
#include "bridge/AppBridge.h"
#include "service/DiagnosticsExport.h"
#include "window/DisplayRhythm.h"
#include "bridge/LinkHealth.h"
#include "service/LinkEvents.h"
#include "window/MessageJournal.h"
#include "service/ParamBackup.h"
#include "service/ParamRestore.h"
#include "window/ParamRangeTable.h"
#include "window/PlotExport.h"
#include "window/TelemetryHistory.h"
#include "window/TelemetryPlot.h"
#include "service/UpgradeSnapshot.h"
#include "record/SessionRecorder.h"
#include "window/SessionExport.h"

#include <QDir>
#include <QFileDialog>
#include <QQmlContext>
#include <QQmlEngine>

FileChooser desktopFileChooser()
{
    return [](FileDialogMode mode, const QString &title, const QString &suggestedPath, const QString &filter) {
        return mode == FileDialogMode::Save ? QFileDialog::getSaveFileName(nullptr, title, suggestedPath, filter)
                                            : QFileDialog::getOpenFileName(nullptr, title, suggestedPath, filter);
    };
}

void registerServiceTypes(const char *uri)
{
    const QString published = QStringLiteral("published beside the bridge");
    qmlRegisterType<TelemetryPlot>(uri, 1, 0, "TelemetryPlot");
    qmlRegisterUncreatableType<TelemetryHistory>(uri, 1, 0, "TelemetryHistory", published);
    qmlRegisterUncreatableType<ParamRestore>(uri, 1, 0, "ParamRestore", published);
    qmlRegisterUncreatableType<LinkHealth>(uri, 1, 0, "LinkHealth", published);
}

void publishServiceTools(QQmlContext &context, AppBridge &bridge, DisplayRhythm &rhythm, const MessageJournal &journal,
                         const LinkEvents &linkEvents, SessionRecorder &recorder, QObject &owner)
{
    const FileChooser chooser = desktopFileChooser();
    auto *backup = new ParamBackup(bridge, &owner);
    backup->setFileChooser(chooser);
    auto *restore = new ParamRestore(bridge, &owner);
    restore->setFileChooser(chooser);
    auto *diagnostics = new DiagnosticsExport(bridge, &owner);
    diagnostics->setFileChooser(chooser);
    diagnostics->setSessionRecords(&journal.session(), &linkEvents);
    // Long enough for a disk that is slow, short enough that the window does not seem to hang.
    const auto flushRecording = [&recorder] { recorder.flush(2000); };
    diagnostics->setRecordings(recorder.folder(), flushRecording);
    const QString snapshots = QDir(dataDirectory()).filePath(QStringLiteral("snapshots"));
    context.setContextProperty(QStringLiteral("paramBackup"), backup);
    context.setContextProperty(QStringLiteral("paramRestore"), restore);
    context.setContextProperty(QStringLiteral("paramRanges"), new ParamRangeTable(&owner));
    context.setContextProperty(QStringLiteral("upgradeSnapshot"), new UpgradeSnapshot(bridge, *restore, snapshots, &owner));
    context.setContextProperty(QStringLiteral("diagnosticsExport"), diagnostics);
    auto *health = new LinkHealth(bridge, true, &owner);
    QObject::connect(&rhythm, &DisplayRhythm::due, health, &LinkHealth::refreshIfDue);
    context.setContextProperty(QStringLiteral("linkHealth"), health);
    auto *history = new TelemetryHistory(bridge, rhythm, &owner);
    context.setContextProperty(QStringLiteral("telemetryHistory"), history);
    auto *plotExport = new PlotExport(*history, bridge, &owner);
    plotExport->setFileChooser(chooser);
    context.setContextProperty(QStringLiteral("plotExport"), plotExport);
    auto *sessions = new SessionExport(bridge, recorder.folder(), &owner);
    sessions->setFileChooser(chooser);
    sessions->setFlushRecording(flushRecording);
    context.setContextProperty(QStringLiteral("sessionExport"), sessions);
}
