// Parameter read, channel and configuration writes, calibration and motor
// commands, and the controller's command replies.
#include "bridge/AppBridge.h"

#include "protocol/FrameCodec.h"

namespace {
const quint8 ParamReadRequest = 0xC0;
}

void AppBridge::tavoxReadParams()
{
    if (!tavoxRequireSerial())
        return;
    if (sendFrame(buildFrameV0(ParamReadRequest, QByteArray())))
        appendMessage(localized(QStringLiteral("正在读取参数..."), QStringLiteral("Reading parameters...")));
}

void AppBridge::tavoxWriteSbusChannels(int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWritePwmChannels(int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteCrsfChannels(int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteSbusChannelsWithDir(int, int, int, int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWritePwmChannelsWithDir(int, int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteCrsfChannelsWithDir(int, int, int, int, int, int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteSbusDirections(int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWritePwmDirections(int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteCrsfDirections(int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxSendSbusPhotoVideo(int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteGimbalConfig(int, int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteCameraPosition(int) { tavoxRequireSerial(); }
void AppBridge::tavoxWriteTorque(int, int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxSendCalibration(int) { tavoxRequireSerial(); }
void AppBridge::tavoxSendMotorTorque(int, int) { tavoxRequireSerial(); }
void AppBridge::tavoxSendMotorHallCalib(int) { tavoxRequireSerial(); }
void AppBridge::tavoxSendElecAngleCalib(int, bool) { tavoxRequireSerial(); }
void AppBridge::tavoxSendHallDataSelect(bool) { tavoxRequireSerial(); }
void AppBridge::tavoxSendLinearCalib() { tavoxRequireSerial(); }
void AppBridge::tavoxSendGyroBiasUpdate() { tavoxRequireSerial(); }

void AppBridge::handleParamBlock(const QByteArray &) {}
void AppBridge::handleCommandReply(const QByteArray &) {}
void AppBridge::handleAccelProgress(const QByteArray &) {}
