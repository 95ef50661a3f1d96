#pragma once

#include <memory>

// Watches an X server, as its operator's eyes would, for a process's window:
// mapped, and showing at least one pixel that differs from what the screen
// showed before the process started. Xlib is kept behind this interface so
// that its macros never meet Qt's headers.
class PaintedWindowWatch
{
public:
    // Connects to the X server of DISPLAY and remembers the screen as it is now.
    PaintedWindowWatch();
    ~PaintedWindowWatch();
    PaintedWindowWatch(const PaintedWindowWatch &) = delete;
    PaintedWindowWatch &operator=(const PaintedWindowWatch &) = delete;

    bool isConnected() const;
    // Whether a top-level window of `pid` (by _NET_WM_PID) is mapped and has painted.
    bool hasPainted(long pid);

private:
    struct Connection;
    std::unique_ptr<Connection> m_x;
};
