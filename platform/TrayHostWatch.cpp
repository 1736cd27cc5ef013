#include "TrayHostWatch.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <string>

namespace quellora {

// Sees the selection notices among the events of the toolkit's own
// connection, and leaves every event to the toolkit.
class TTrayHostWatch::TFilter : public QAbstractNativeEventFilter {
public:
    TFilter(TTrayHostWatch& owner, std::uint8_t notifyType, xcb_atom_t selection)
        : owner_(owner), notifyType_(notifyType), selection_(selection)
    {
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != notifyType_)
            return false;
        const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
        if (notify->selection == selection_ && owner_.OnChange)
            owner_.OnChange(notify->owner != XCB_NONE);
        return false;
    }

private:
    TTrayHostWatch& owner_;
    std::uint8_t notifyType_;
    xcb_atom_t selection_;
};

TTrayHostWatch::TTrayHostWatch(QObject* parent) : QObject(parent)
{
    // A desktop's panel may host the icon over the session bus instead (the
    // StatusNotifier protocol of KDE, GNOME's extensions and Wayland panels),
    // and the toolkit then shows it there: that panel going away changes
    // nothing on the X screen, only its name on the bus.
    if (QDBusConnection bus = QDBusConnection::sessionBus(); bus.isConnected()) {
        auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                                QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
            if (OnChange)
                OnChange(false);
        });
    }
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* dpy = x11 ? x11->display() : nullptr;
    xcb_connection_t* conn = x11 ? x11->connection() : nullptr;
    if (!dpy || !conn)
        return;
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(conn, &xcb_xfixes_id);
    if (!fixes || !fixes->present)
        return;
    // The toolkit has agreed on the extension's version on this connection
    // (its clipboard watches selections the same way).
    const int screen = DefaultScreen(dpy);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, std::uint16_t(name.size()), name.c_str()), nullptr);
    if (!atom)
        return;
    const xcb_atom_t selection = atom->atom;
    free(atom);
    filter_ = std::make_unique<TFilter>(*this, std::uint8_t(fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY),
                                        selection);
    qGuiApp->installNativeEventFilter(filter_.get());
    xcb_xfixes_select_selection_input(conn, xcb_window_t(RootWindow(dpy, screen)), selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(conn);
}

TTrayHostWatch::~TTrayHostWatch()
{
    if (filter_ && qGuiApp)
        qGuiApp->removeNativeEventFilter(filter_.get());
}

} // namespace quellora
