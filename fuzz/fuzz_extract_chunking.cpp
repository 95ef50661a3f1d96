// The frames cut from arbitrary bytes must not depend on how the bytes were
// split into pieces: fed whole, byte by byte and in pieces chosen by the input,
// the same frames come out and the same bytes stay behind.
#include "protocol/FrameCodec.h"

#include <QByteArray>
#include <QVector>

namespace {
struct Outcome
{
    QVector<QByteArray> frames;
    QByteArray rest;
};

Outcome extractAll(const QByteArray &input, quint32 seed, int fixedPiece)
{
    Outcome outcome;
    QByteArray buffer;
    for (int pos = 0; pos < input.size();) {
        seed = seed * 1103515245u + 12345u;
        const int piece = fixedPiece > 0 ? fixedPiece : 1 + int((seed >> 16) % 600);
        buffer.append(input.mid(pos, piece));
        pos += piece;
        for (ParsedFrame frame; extractFrame(buffer, frame);)
            outcome.frames.append(char(frame.version) + char(frame.commandId) + char(frame.commandSet)
                                  + QByteArray::number(frame.sequence) + frame.payload);
        if (buffer.size() >= FrameFormat::MaxLength)
            __builtin_trap();
    }
    outcome.rest = buffer;
    return outcome;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const quint32 seed = quint32(data[0]) | (quint32(data[1]) << 8);
    const QByteArray input(reinterpret_cast<const char *>(data + 2), int(size - 2));
    const Outcome whole = extractAll(input, seed, input.size());
    for (const Outcome &other : {extractAll(input, seed, 1), extractAll(input, seed, 0)}) {
        if (other.frames != whole.frames || other.rest != whole.rest)
            __builtin_trap();
    }
    return 0;
}
