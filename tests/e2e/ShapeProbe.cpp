// Prints the bounding shape of an X window, the part of it that the X server
// shows, as a plain PBM image of the window's size (1 = shown), so that the
// end-to-end tests can compare it with the skin. Usage: shape_probe WINDOW
// (on $DISPLAY).

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: shape_probe WINDOW\n");
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "shape_probe: no display\n");
        return 1;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(dpy, window, &attributes)) {
        std::fprintf(stderr, "shape_probe: no window %s\n", argv[1]);
        return 1;
    }
    const int w = attributes.width, h = attributes.height;
    // Without a shape of its own, the window's whole rectangle is given.
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(dpy, window, ShapeBounding, &count, &ordering);
    std::vector<std::string> rows(std::size_t(h), std::string(std::size_t(w), '0'));
    for (int i = 0; i < count; ++i) {
        const XRectangle& r = rects[i];
        for (int y = std::max(0, int(r.y)); y < std::min(h, r.y + int(r.height)); ++y)
            for (int x = std::max(0, int(r.x)); x < std::min(w, r.x + int(r.width)); ++x)
                rows[std::size_t(y)][std::size_t(x)] = '1';
    }
    if (rects)
        XFree(rects);
    XCloseDisplay(dpy);
    std::printf("P1\n%d %d\n", w, h);
    for (const std::string& row : rows)
        std::printf("%s\n", row.c_str());
    return 0;
}
