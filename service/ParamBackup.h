#pragma once

#include "service/FileChooser.h"
#include "service/ParamReadBack.h"

#include <QObject>

class AppBridge;

// "Back up parameters": reads the controller's block afresh, so the file holds
// what the controller has now rather than what the window last saw (perhaps
// another controller's, before the port was reopened), then saves it, with the
// versions the controller reported on this open, as a parameter file where the
// operator chooses.
class ParamBackup : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    Q_PROPERTY(QString lastPath READ lastPath NOTIFY changed)

public:
    static constexpr int ReadTimeoutMs = 5000;

    explicit ParamBackup(AppBridge &bridge, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    bool busy() const { return m_busy; }
    // Where the last backup went; empty until one succeeded.
    QString lastPath() const { return m_lastPath; }

    // "tavox-params_1.0.0.60_20261207.json"
    static QString suggestedName(const QString &firmwareVersion, const QDate &date);

    Q_INVOKABLE void backUp();

signals:
    void changed();

private:
    void save();
    void finish();

    AppBridge &m_bridge;
    FileChooser m_chooseFile;
    bool m_busy = false;
    ParamReadBack m_read;
    QString m_lastPath;
};
