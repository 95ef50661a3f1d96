#include "service/ParamWrites.h"

#include "app/Config.h"
#include "app/Version.h"
#include "bridge/AppBridge.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

void applyParamWrite(AppBridge &bridge, ParamWrite write, const ParamBlock &t)
{
    switch (write) {
    case ParamWrite::CameraPosition:
        bridge.tavoxWriteCameraPosition(t.cameraPosition);
        break;
    case ParamWrite::GimbalConfig:
        bridge.tavoxWriteGimbalConfig(t.fpvMode, t.pitchMaxSpeed, t.rollMaxSpeed, t.yawMaxSpeed);
        break;
    case ParamWrite::SbusPhotoVideo:
        bridge.tavoxSendSbusPhotoVideo(t.sbusPhotoCh, t.sbusVideoCh);
        break;
    case ParamWrite::SbusDirections:
        bridge.tavoxWriteSbusDirections(t.sbusPitchDir, t.sbusRollDir, t.sbusYawDir);
        break;
    case ParamWrite::PwmDirections:
        bridge.tavoxWritePwmDirections(t.pwmPitchDir, t.pwmYawDir);
        break;
    case ParamWrite::CrsfDirections:
        bridge.tavoxWriteCrsfDirections(t.crsfPitchDir, t.crsfRollDir, t.crsfYawDir);
        break;
    case ParamWrite::SbusChannels:
        bridge.tavoxWriteSbusChannelsWithDir(t.sbusPitchCh, t.sbusRollCh, t.sbusYawCh, t.sbusCenterCh, t.sbusLockCh,
                                             t.sbusMode, t.sbusPitchDir, t.sbusRollDir, t.sbusYawDir);
        break;
    case ParamWrite::PwmChannels:
        bridge.tavoxWritePwmChannelsWithDir(t.pwmPitchCh, t.pwmYawCh, t.pwmCenterCh, t.pwmLockCh, t.pwmMode,
                                            t.pwmPitchDir, t.pwmYawDir);
        break;
    case ParamWrite::CrsfChannels:
        bridge.tavoxWriteCrsfChannelsWithDir(t.crsfPitchCh, t.crsfRollCh, t.crsfYawCh, t.crsfCenterCh, t.crsfLockCh,
                                             t.crsfMode, t.crsfPitchDir, t.crsfRollDir, t.crsfYawDir);
        break;
    case ParamWrite::Torque:
        bridge.tavoxWriteTorque(t.pitchMaxTorque, t.rollMaxTorque, t.yawMaxTorque);
        break;
    }
}

TextPair paramWriteName(ParamWrite write)
{
    switch (write) {
    case ParamWrite::CameraPosition:
        return {QStringLiteral("相机位置"), QStringLiteral("the camera position")};
    case ParamWrite::GimbalConfig:
        return {QStringLiteral("FPV模式和最大速度"), QStringLiteral("the FPV mode and maximum speeds")};
    case ParamWrite::SbusPhotoVideo:
        return {QStringLiteral("SBUS拍照/录像通道"), QStringLiteral("the SBUS photo/video channels")};
    case ParamWrite::SbusDirections:
        return {QStringLiteral("SBUS方向"), QStringLiteral("the SBUS directions")};
    case ParamWrite::PwmDirections:
        return {QStringLiteral("PWM方向"), QStringLiteral("the PWM directions")};
    case ParamWrite::CrsfDirections:
        return {QStringLiteral("CRSF方向"), QStringLiteral("the CRSF directions")};
    case ParamWrite::SbusChannels:
        return {QStringLiteral("SBUS通道和方向"), QStringLiteral("the SBUS channels and directions")};
    case ParamWrite::PwmChannels:
        return {QStringLiteral("PWM通道和方向"), QStringLiteral("the PWM channels and directions")};
    case ParamWrite::CrsfChannels:
        return {QStringLiteral("CRSF通道和方向"), QStringLiteral("the CRSF channels and directions")};
    case ParamWrite::Torque:
        return {QStringLiteral("最大力矩"), QStringLiteral("the maximum torques")};
    }
    return {};
}

ParamFile::Contents paramFileContentsOf(const AppBridge &bridge)
{
    ParamFile::Contents contents;
    contents.form = paramBlockFormOf(bridge.parameters().block());
    contents.block = bridge.parameters().block();
    contents.toolVersion = tavoxVersion();
    contents.firmwareVersion = bridge.tavoxFirmwareVersion();
    contents.bootVersion = bridge.tavoxBootVersion();
    const QDateTime now = QDateTime::currentDateTime();
    contents.savedAt = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
    return contents;
}

TextPair paramFileFilter()
{
    return {QStringLiteral("参数文件 (*.json)"), QStringLiteral("Parameter files (*.json)")};
}

QString paramFileFolder()
{
    const QString folder = readParamsLastDir();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void rememberParamFileFolder(AppBridge &bridge, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (folder != readParamsLastDir() && !writeParamsLastDir(folder))
        bridge.messages().report(settingsNotSavedMessage());
}

TextPair noDifferencesText()
{
    return {QStringLiteral("没有差异: 控制器的参数与文件一致"),
            QStringLiteral("No differences: the controller holds the file's values")};
}

TextPair snapshotSavedText(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    return {QStringLiteral("升级前的参数已保存到 %1").arg(shown),
            QStringLiteral("Parameters before the upgrade saved to %1").arg(shown)};
}

ParamFile::Problem formMismatch(const ParamFile::Contents &file, ParamBlockForm controllerForm)
{
    ParamFile::Problem problem;
    problem.field = QStringLiteral("paramForm");
    problem.line = file.formLine;
    const QString fileForm = paramBlockFormName(file.form);
    const QString deviceForm = paramBlockFormName(controllerForm);
    problem.reason = {QStringLiteral("文件的参数形式是 %1，控制器使用 %2").arg(fileForm, deviceForm),
                      QStringLiteral("the file is for parameter form %1, the controller uses %2").arg(fileForm, deviceForm)};
    return problem;
}
