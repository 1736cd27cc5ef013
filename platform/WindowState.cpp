#include "WindowState.h"

#include <QGuiApplication>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace quellora {

void ClearIconicStartState(QWindow* window)
{
    if (!window || !window->handle())
        return;
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* dpy = x11 ? x11->display() : nullptr;
    if (!dpy)
        return;
    const auto id = static_cast<::Window>(window->winId());
    XWMHints* hints = XGetWMHints(dpy, id);
    if (!hints)
        return;
    if ((hints->flags & StateHint) && hints->initial_state == IconicState) {
        hints->initial_state = NormalState;
        XSetWMHints(dpy, id, hints);
        XFlush(dpy);
    }
    XFree(hints);
}

} // namespace quellora
