#pragma once

#include "service/FileChooser.h"
#include "service/ParamReadBack.h"
#include "service/RestartWatch.h"
#include "device/ParamFile.h"
#include "device/ParamRanges.h"
#include "device/ParamWritePlan.h"
#include "device/ParameterCommands.h"
#include "device/TextPair.h"

#include <QAbstractListModel>

#include <memory>

class AppBridge;

// Putting a parameter file back on the controller, field by field: the
// difference between the controller and the file as a table the operator
// ticks, the writes of the ticked fields in the order the controller needs,
// and a fresh read that marks each ticked row verified or not. Every field the
// operator leaves unticked keeps the controller's value. The controller's
// values are those read since the port was last opened, and a table is written
// only to the controller it was laid out against.
class ParamRestore : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY changed)
    Q_PROPERTY(QString sourceName READ sourceName NOTIFY changed)
    Q_PROPERTY(QString statusText READ statusText NOTIFY changed)
    Q_PROPERTY(int checkedCount READ checkedCount NOTIFY changed)
    Q_PROPERTY(bool selectionRestartsController READ selectionRestartsController NOTIFY changed)

public:
    enum State { Empty, Ready, Writing, Verifying, Verified, Failed };
    Q_ENUM(State)
    enum Verification { NotChecked, Pending, Matches, Differs };
    Q_ENUM(Verification)
    // The values' texts name them as the panels do; a value outside its
    // field's range (RangeRole) is marked, and a file's such value is never ticked.
    enum Role {
        FieldRole = Qt::UserRole + 1, DeviceValueRole, FileValueRole, CheckedRole, VerificationRole, LabelRole,
        DeviceTextRole, FileTextRole, DeviceInRangeRole, FileInRangeRole, RangeRole
    };

    // Writes wait for the bridge's own follow-ups (activation, restart), a
    // restart for the controller to come back, up to this; a read that goes
    // unanswered is asked again once a second up to this.
    static constexpr int ReadTimeoutMs = 10000;

    explicit ParamRestore(AppBridge &bridge, QObject *parent = nullptr);

    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    State state() const { return m_state; }
    QString sourceName() const { return m_sourceName; }
    QString statusText() const;
    int checkedCount() const;
    bool selectionRestartsController() const;

    // Asks for a file, then opens it.
    Q_INVOKABLE void chooseFile();
    // Reads and checks the file and lays out its differences from the
    // controller. A malformed file, or one for another parameter form, is
    // reported and leaves the table empty.
    Q_INVOKABLE bool openFile(const QString &path);
    // The same table for contents the tool holds itself (a snapshot).
    bool showContents(const ParamFile::Contents &contents, const QString &sourceName);
    Q_INVOKABLE void setChecked(int row, bool checked);
    Q_INVOKABLE void writeSelected();
    Q_INVOKABLE void clear();

    // The writes that the ticked rows take.
    QVector<ParamWrite> plannedWrites() const;

signals:
    void changed();
    // A table is ready for the operator.
    void opened();
    // The read-back found these fields (the file's keys) as the file has them.
    void restored(const QStringList &fields);

private:
    struct Row
    {
        QString field;
        int deviceValue = 0;
        int fileValue = 0;
        bool checked = true;
        Verification verification = NotChecked;
        bool inRange(int value) const { return ParamRanges::of(field).contains(value); }
    };

    void report(const QString &zh, const QString &en);
    bool controllerKnown();
    bool tableOfThisLink();
    ParamBlock selectedTarget() const;
    void setState(State state);
    void writeNext();
    void afterFollowUps();
    bool restartFailed();
    void onBlockRead();
    void startReadBack();
    void onLinkClosed();
    void finishVerification();
    void relabel();
    QString valueText(const Row &row, int value) const;
    bool selectionInRange();
    TextPair differencesText() const;
    void fail(const QString &zh, const QString &en);

    AppBridge &m_bridge;
    FileChooser m_chooseFile;
    ParamFile::Contents m_file;
    QString m_sourceName;
    QVector<Row> m_rows;
    int m_tableLinkGeneration = 0;
    State m_state = Empty;
    TextPair m_status;

    QVector<ParamWrite> m_writes;
    ParamBlock m_target;
    TextPair m_writing;
    bool m_waitingForFollowUps = false;
    // From the first write to the verdict the restore reads the block itself after each restart.
    std::unique_ptr<ParameterCommands::RestartReadsTaken> m_restartReads;
    std::unique_ptr<RestartWatch> m_restart;
    int m_paramsChanges = 0;
    ParamReadBack m_readBack;
};
