#include "support/PaintedWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

namespace {
// Rows of the window compared with the screen before: a frame is presented
// whole, so a few rows across it see the first one as soon as all of it.
const int SampledRows = 9;

struct WindowArea
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A window that vanished between two requests is not an error for a watcher.
int ignoreXError(Display *, XErrorEvent *)
{
    return 0;
}
}

struct PaintedWindowWatch::Connection
{
    Display *display = nullptr;
    Window root = 0;
    Atom wmPid = 0;
    XImage *before = nullptr;

    long pidOf(Window window) const
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char *data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(display, window, wmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                               &data) == Success
            && data && format == 32 && count == 1)
            pid = long(*reinterpret_cast<unsigned long *>(data));
        if (data)
            XFree(data);
        return pid;
    }

    // Qt also keeps an unmapped leader window per process; only a viewable one counts.
    bool viewableArea(Window window, WindowArea &area) const
    {
        XWindowAttributes attributes {};
        if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable)
            return false;
        area = {attributes.x, attributes.y, attributes.width, attributes.height};
        return area.width > 0 && area.height > 0;
    }

    bool rowDiffers(const WindowArea &area, int y) const
    {
        XImage *row = XGetImage(display, root, area.x, y, unsigned(area.width), 1, AllPlanes, ZPixmap);
        if (!row)
            return false;
        bool differs = false;
        for (int x = 0; x < area.width && !differs; ++x)
            differs = XGetPixel(row, x, 0) != XGetPixel(before, area.x + x, y);
        XDestroyImage(row);
        return differs;
    }

    bool shows(WindowArea area) const
    {
        // Only the part on the screen can be seen.
        const int screenWidth = before->width;
        const int screenHeight = before->height;
        area.width = std::min(area.x + area.width, screenWidth) - std::max(area.x, 0);
        area.height = std::min(area.y + area.height, screenHeight) - std::max(area.y, 0);
        area.x = std::max(area.x, 0);
        area.y = std::max(area.y, 0);
        if (area.width <= 0 || area.height <= 0)
            return false;
        for (int row = 0; row < SampledRows; ++row) {
            if (rowDiffers(area, area.y + (area.height - 1) * row / (SampledRows - 1)))
                return true;
        }
        return false;
    }
};

PaintedWindowWatch::PaintedWindowWatch()
    : m_x(new Connection)
{
    m_x->display = XOpenDisplay(nullptr);
    if (!m_x->display)
        return;
    XSetErrorHandler(ignoreXError);
    m_x->root = DefaultRootWindow(m_x->display);
    m_x->wmPid = XInternAtom(m_x->display, "_NET_WM_PID", False);
    XWindowAttributes screen {};
    XGetWindowAttributes(m_x->display, m_x->root, &screen);
    m_x->before = XGetImage(m_x->display, m_x->root, 0, 0, unsigned(screen.width), unsigned(screen.height), AllPlanes,
                            ZPixmap);
}

PaintedWindowWatch::~PaintedWindowWatch()
{
    if (m_x->before)
        XDestroyImage(m_x->before);
    if (m_x->display)
        XCloseDisplay(m_x->display);
}

bool PaintedWindowWatch::isConnected() const
{
    return m_x->display && m_x->before;
}

bool PaintedWindowWatch::hasPainted(long pid)
{
    Window rootReturn = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_x->display, m_x->root, &rootReturn, &parent, &children, &count))
        return false;
    const std::vector<Window> windows(children, children + count);
    if (children)
        XFree(children);
    for (Window window : windows) {
        WindowArea area;
        if (m_x->pidOf(window) == pid && m_x->viewableArea(window, area) && m_x->shows(area))
            return true;
    }
    return false;
}
