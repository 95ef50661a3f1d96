#include "FuzzBridge.h"

#include "bridge/AppBridge.h"
#include "protocol/FrameCodec.h"

#include <QCoreApplication>

#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// An incomplete frame of at most 511 bytes, or fewer than 7 bytes, may wait
// in the buffer; the margin covers a piece that ends mid-header.
const int ReceiveBufferBound = 518;
const int MaxPiece = 4096;

int masterFd = -1;

void silence(QtMsgType, const QMessageLogContext &, const QString &) {}

AppBridge *createBridge()
{
    static int argc = 1;
    static char name[] = "tavox-fuzz";
    static char *argv[] = { name, nullptr };
    new QCoreApplication(argc, argv);
    qInstallMessageHandler(silence);

    int slaveFd = -1;
    char slaveName[256] = {};
    termios raw {};
    cfmakeraw(&raw);
    if (openpty(&masterFd, &slaveFd, slaveName, &raw, nullptr) != 0)
        abort();
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);

    auto *bridge = new AppBridge;
    if (!bridge->openSerial(QString::fromLocal8Bit(slaveName), 921600))
        abort();
    return bridge;
}
}

namespace FuzzBridge {

AppBridge &bridge()
{
    static AppBridge *instance = createBridge();
    return *instance;
}

void checkReceiveBuffer()
{
    if (bridge().serialLink().receiveBuffer().size() > ReceiveBufferBound)
        __builtin_trap();
}

void settle()
{
    QCoreApplication::processEvents();
    char sink[4096];
    while (read(masterFd, sink, sizeof sink) > 0) {
    }
}

void feed(const QByteArray &bytes, quint32 seed)
{
    AppBridge &target = bridge();
    int offset = 0;
    while (offset < bytes.size()) {
        seed = seed * 1664525u + 1013904223u;
        const int piece = 1 + int((seed >> 8) % MaxPiece);
        target.serialLink().receive(bytes.mid(offset, piece));
        checkReceiveBuffer();
        offset += piece;
    }
    settle();
}

}
