// The frames cut from arbitrary bytes must not depend on how the bytes were
// split into pieces: fed whole, byte by byte and in pieces chosen by the input,
// the same frames come out. (What stays behind may differ by a few garbage
// bytes: fewer than seven of them wait for more input.)
#include "protocol/FrameCodec.h"

#include <QByteArray>
#include <QVector>

namespace {
QVector<QByteArray> extractAll(const QByteArray &input, quint32 seed, int fixedPiece)
{
    QVector<QByteArray> frames;
    QByteArray buffer;
    for (int pos = 0; pos < input.size();) {
        seed = seed * 1103515245u + 12345u;
        const int piece = fixedPiece > 0 ? fixedPiece : 1 + int((seed >> 16) % 600);
        buffer.append(input.mid(pos, piece));
        pos += piece;
        for (ParsedFrame frame; extractFrame(buffer, frame);)
            frames.append(QByteArray::number(frame.version) + ':' + QByteArray::number(frame.commandId) + ':'
                                  + QByteArray::number(frame.commandSet) + ':' + QByteArray::number(frame.sequence)
                                  + ':' + frame.payload);
        if (buffer.size() >= FrameFormat::MaxLength)
            __builtin_trap();
    }
    return frames;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const quint32 seed = quint32(data[0]) | (quint32(data[1]) << 8);
    const QByteArray input(reinterpret_cast<const char *>(data + 2), int(size - 2));
    const QVector<QByteArray> whole = extractAll(input, seed, input.size());
    if (extractAll(input, seed, 1) != whole || extractAll(input, seed, 0) != whole)
        __builtin_trap();
    return 0;
}
