#include "device/ParamCodec.h"

namespace {
quint8 byteAt(const QByteArray &payload, int index)
{
    return quint8(payload.at(index));
}

quint16 le16At(const QByteArray &payload, int index)
{
    return quint16(byteAt(payload, index) | (byteAt(payload, index + 1) << 8));
}

void readBase(const QByteArray &payload, ParamBlock &block)
{
    block.sbusPitchCh = byteAt(payload, 0);
    block.sbusYawCh = byteAt(payload, 1);
    block.sbusCenterCh = byteAt(payload, 2);
    block.sbusMode = byteAt(payload, 3);
    block.pwmPitchCh = byteAt(payload, 4);
    block.pwmYawCh = byteAt(payload, 5);
    block.pwmCenterCh = byteAt(payload, 6);
    block.pwmMode = byteAt(payload, 7);
    block.cameraPosition = byteAt(payload, 8);
    block.pitchMaxSpeed = byteAt(payload, 9);
    block.yawMaxSpeed = byteAt(payload, 10);
    block.fpvMode = byteAt(payload, 11);
    block.sbusRollCh = byteAt(payload, 12);
    block.rollMaxSpeed = byteAt(payload, 13);
    block.sbusLockCh = byteAt(payload, 14);
    block.pwmLockCh = byteAt(payload, 15);
    block.yawMaxTorque = le16At(payload, 16);
    block.rollMaxTorque = le16At(payload, 18);
    block.pitchMaxTorque = le16At(payload, 20);
}

// Both segments carry the five SBUS/PWM directions, at different offsets.
void readDirections(const QByteArray &payload, int offset, ParamBlock &block)
{
    block.sbusPitchDir = byteAt(payload, offset);
    block.sbusRollDir = byteAt(payload, offset + 1);
    block.sbusYawDir = byteAt(payload, offset + 2);
    block.pwmPitchDir = byteAt(payload, offset + 3);
    block.pwmYawDir = byteAt(payload, offset + 4);
}

void readPhotoVideoSegment(const QByteArray &payload, ParamBlock &block)
{
    block.sbusPhotoCh = byteAt(payload, 22);
    block.sbusVideoCh = byteAt(payload, 23);
    readDirections(payload, 24, block);
    block.photoVideoPresent = true;
}

void readCrsfSegment(const QByteArray &payload, ParamBlock &block)
{
    readDirections(payload, 22, block);
    block.crsfPitchCh = byteAt(payload, 27);
    block.crsfRollCh = byteAt(payload, 28);
    block.crsfYawCh = byteAt(payload, 29);
    block.crsfCenterCh = byteAt(payload, 30);
    block.crsfLockCh = byteAt(payload, 31);
    block.crsfMode = byteAt(payload, 32);
    block.crsfPitchDir = byteAt(payload, 33);
    block.crsfRollDir = byteAt(payload, 34);
    block.crsfYawDir = byteAt(payload, 35);
    block.crsfPresent = true;
}
}

bool decodeParamBlock(const QByteArray &payload, ParamBlock &block)
{
    if (payload.size() < ParamPayload::BaseLength)
        return false;
    readBase(payload, block);
    block.crsfPresent = false;
    block.photoVideoPresent = false;
    if (payload.size() >= ParamPayload::CrsfLength)
        readCrsfSegment(payload, block);
    else if (payload.size() >= ParamPayload::PhotoVideoLength)
        readPhotoVideoSegment(payload, block);
    return true;
}

void keepAbsentSegments(ParamBlock &decoded, const ParamBlock &current)
{
    if (!decoded.crsfPresent) {
        decoded.crsfPitchCh = current.crsfPitchCh;
        decoded.crsfRollCh = current.crsfRollCh;
        decoded.crsfYawCh = current.crsfYawCh;
        decoded.crsfCenterCh = current.crsfCenterCh;
        decoded.crsfLockCh = current.crsfLockCh;
        decoded.crsfMode = current.crsfMode;
        decoded.crsfPitchDir = current.crsfPitchDir;
        decoded.crsfRollDir = current.crsfRollDir;
        decoded.crsfYawDir = current.crsfYawDir;
        decoded.crsfPresent = current.crsfPresent;
    }
    if (!decoded.photoVideoPresent) {
        decoded.sbusPhotoCh = current.sbusPhotoCh;
        decoded.sbusVideoCh = current.sbusVideoCh;
        decoded.photoVideoPresent = current.photoVideoPresent;
    }
}
