#pragma once

#include <QByteArray>

class AppBridge;

// One bridge for the whole fuzzing run, opened on a real pseudo-terminal so
// that the receive path accepts input and replies have somewhere to go.
namespace FuzzBridge {

AppBridge &bridge();

// Feeds bytes to the receive path in pieces whose sizes follow `seed`, then
// lets queued work run and throws away what the bridge sent.
void feed(const QByteArray &bytes, quint32 seed);

// Called after every piece: the bounds the receive path promises.
void checkReceiveBuffer();

// Runs queued events and drains the device side of the terminal.
void settle();

}
