#pragma once

#include "device/ParamBlock.h"

#include <QByteArray>

// Payload of the parameter block reply 0xC1: a 22-byte base, optionally
// followed by either the photo/video segment (29..35 bytes in all) or the
// CRSF segment (36 bytes or more). The form is told by the length alone.
namespace ParamPayload {
constexpr int BaseLength = 22;
constexpr int PhotoVideoLength = 29;
constexpr int CrsfLength = 36;
}

// Fills `block` from `payload`; fields of an absent segment keep the values
// `block` had. Clears both presence flags before reading the segments.
// Returns false, leaving `block` untouched, when the payload is shorter than the base.
bool decodeParamBlock(const QByteArray &payload, ParamBlock &block);

// Firmware without a segment must not turn the tool's own values for it back
// into defaults: the CRSF and photo/video fields (and their presence flags)
// of a segment the reply lacked are taken from `current`. Directions are not
// kept: a reply without an extension reports them as 0.
void keepAbsentSegments(ParamBlock &decoded, const ParamBlock &current);
