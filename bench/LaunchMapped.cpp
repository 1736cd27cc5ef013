// Launch to mapped window, as one X client sees it: starts a program and
// prints "PID MILLISECONDS" once a window of that program (_NET_WM_PID) and
// of the given size is viewable. The program runs on, its output dropped.
// Waiting on the server's events, this client takes no CPU from the program
// it starts, as a new xdotool process every few milliseconds would.
// usage: bench_launch_mapped WIDTH HEIGHT PROGRAM [ARG...]

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

using Clock = std::chrono::steady_clock;

long WindowPid(Display* dpy, Window window)
{
    static const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(dpy, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 32 && count == 1)
        pid = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return pid;
}

// A window that died between its event and this question is simply not it.
int IgnoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreErrors);
    const Window root = DefaultRootWindow(dpy);
    // Windows made on the root, and frames a window manager maps there.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const Clock::time_point t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[3], argv + 3);
        _exit(127);
    }

    std::set<Window> made;
    const auto found = [&] {
        for (Window window : made) {
            XWindowAttributes at{};
            if (XGetWindowAttributes(dpy, window, &at) && at.map_state == IsViewable && at.width == width &&
                at.height == height && WindowPid(dpy, window) == pid)
                return true;
        }
        return false;
    };
    // Each map may be the one: a window inside a frame becomes viewable
    // when the frame is mapped.
    const auto waitForMap = [&] {
        const Clock::time_point deadline = t0 + std::chrono::seconds(30);
        for (;;) {
            while (XPending(dpy) > 0) {
                XEvent event;
                XNextEvent(dpy, &event);
                if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
                    // Its own map and reparenting; asked after the fact too,
                    // for a window mapped before this selection reached the server.
                    made.insert(event.xcreatewindow.window);
                    XSelectInput(dpy, event.xcreatewindow.window, StructureNotifyMask);
                    if (found())
                        return true;
                } else if (event.type == MapNotify && found()) {
                    return true;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
            poll(&fd, 1, int(left));
        }
    };
    if (!waitForMap()) {
        std::fprintf(stderr, "no %dx%d window of %s was mapped within 30 s\n", width, height, argv[3]);
        kill(pid, SIGTERM);
        return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("%d %.1f\n", int(pid), ms);
    XCloseDisplay(dpy);
    return 0;
}
