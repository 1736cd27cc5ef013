#include "XKeySource.h"

#include "KeyMap.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace quellora {

namespace {

// Xlib's default error handler ends the process; while we set up, errors
// are only counted.
int setupErrors = 0;
int countError(Display*, XErrorEvent*)
{
    ++setupErrors;
    return 0;
}

class TErrorTrap {
public:
    explicit TErrorTrap(Display* dpy) : dpy_(dpy)
    {
        setupErrors = 0;
        previous_ = XSetErrorHandler(countError);
    }
    ~TErrorTrap() { XSetErrorHandler(previous_); }
    bool failed()
    {
        XSync(dpy_, False);
        return setupErrors != 0;
    }

private:
    Display* dpy_;
    int (*previous_)(Display*, XErrorEvent*);
};

class TXKeySource : public TKeySource {
public:
    TXKeySource(Display* dpy, int xiOpcode) : dpy_(dpy), xiOpcode_(xiOpcode) {}
    ~TXKeySource() override
    {
        delete notifier_.data();
        XCloseDisplay(dpy_);
    }

    bool start();
    void Drain() override;
    // In a program with an event loop, the loop tells when the server has
    // sent something, so that idle polls make no system call.
    void watchConnection();
    std::uint16_t GetAsyncKeyState(int code) override { return latch_.Query(code); }
    bool WatchInput(std::function<void()> onInput) override
    {
        onInput_ = std::move(onInput);
        return notifier_ != nullptr;
    }

private:
    void loadKeymap();
    void onKey(int keycode, bool press);
    void onXkb(const XEvent& event);

    Display* dpy_;
    int xiOpcode_;
    int xkbEventBase_ = -1;
    unsigned numLockMask_ = Mod2Mask;
    bool numLock_ = false;
    int minKeycode_ = 0;
    std::vector<std::array<char, 4>> names_; // by keycode - minKeycode_
    std::vector<std::array<KeySym, 2>> syms_;
    // The code each key was counted under when it went down, so that its
    // release undoes exactly that press even if NumLock changed meanwhile.
    std::array<std::uint8_t, 256> downCode_{};
    TKeyLatch latch_;
    // Owned by the application object, so that it goes before the loop does.
    QPointer<QSocketNotifier> notifier_;
    bool readable_ = true;
    std::function<void()> onInput_;
};

bool TXKeySource::start()
{
    TErrorTrap trap(dpy_);
    int major = 2, minor = 2;
    if (XIQueryVersion(dpy_, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1))
        return false; // raw events reach the root window unconditionally only from 2.1 on

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    // Master devices only: every key reaches a master from its slave, and
    // selecting all devices would report each key twice.
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(dpy_, DefaultRootWindow(dpy_), &mask, 1);

    int xkbOpcode = 0, xkbError = 0, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(dpy_, &xkbOpcode, &xkbEventBase_, &xkbError, &xkbMajor, &xkbMinor)) {
        if (const unsigned mask = XkbKeysymToModifiers(dpy_, XK_Num_Lock))
            numLockMask_ = mask;
        XkbSelectEventDetails(dpy_, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask,
                              XkbModifierLockMask);
        XkbStateRec state{};
        if (XkbGetState(dpy_, XkbUseCoreKbd, &state) == Success)
            numLock_ = (state.locked_mods & numLockMask_) != 0;
    } else {
        xkbEventBase_ = -1;
    }
    loadKeymap();
    return !trap.failed();
}

void TXKeySource::loadKeymap()
{
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(dpy_, &minKeycode, &maxKeycode);
    minKeycode_ = minKeycode;
    const int count = maxKeycode - minKeycode + 1;
    names_.assign(std::size_t(count), {});
    syms_.assign(std::size_t(count), {});

    int perKeycode = 0;
    if (KeySym* map = XGetKeyboardMapping(dpy_, KeyCode(minKeycode), count, &perKeycode)) {
        for (int i = 0; i < count; ++i) {
            syms_[std::size_t(i)][0] = perKeycode > 0 ? map[i * perKeycode] : NoSymbol;
            syms_[std::size_t(i)][1] = perKeycode > 1 ? map[i * perKeycode + 1] : NoSymbol;
        }
        XFree(map);
    }
    if (xkbEventBase_ < 0)
        return;
    if (XkbDescPtr desc = XkbGetMap(dpy_, 0, XkbUseCoreKbd)) {
        if (XkbGetNames(dpy_, XkbKeyNamesMask, desc) == Success && desc->names && desc->names->keys) {
            for (int kc = std::max(minKeycode, int(desc->min_key_code));
                 kc <= std::min(maxKeycode, int(desc->max_key_code)); ++kc) {
                const char* name = desc->names->keys[kc].name;
                std::copy(name, name + XkbKeyNameLength, names_[std::size_t(kc - minKeycode)].begin());
            }
        }
        XkbFreeKeyboard(desc, 0, True);
    }
}

void TXKeySource::onKey(int keycode, bool press)
{
    if (keycode < 0 || keycode >= int(downCode_.size()))
        return;
    if (!press) {
        latch_.Release(downCode_[std::size_t(keycode)]);
        downCode_[std::size_t(keycode)] = 0;
        return;
    }
    const int i = keycode - minKeycode_;
    if (i < 0 || i >= int(syms_.size()))
        return;
    const auto& name = names_[std::size_t(i)];
    const TXKey key{std::string_view(name.data(), name.size()), std::uint32_t(syms_[std::size_t(i)][0]),
                    std::uint32_t(syms_[std::size_t(i)][1])};
    const int code = VirtualKeyOf(key, numLock_);
    if (code == 0)
        return;
    // An auto-repeated press marks the key again without counting it twice.
    const int before = downCode_[std::size_t(keycode)];
    if (before != 0) {
        latch_.Release(before);
    }
    downCode_[std::size_t(keycode)] = std::uint8_t(code);
    latch_.Press(code);
}

void TXKeySource::onXkb(const XEvent& event)
{
    const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
    if (xkb.any.xkb_type == XkbStateNotify)
        numLock_ = (xkb.state.locked_mods & numLockMask_) != 0;
}

void TXKeySource::watchConnection()
{
    if (!QCoreApplication::instance())
        return;
    notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read, QCoreApplication::instance());
    // The socket stays readable until the next poll reads it: one signal is
    // enough, and a notifier left on would spin the loop until then.
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] {
        notifier_->setEnabled(false);
        readable_ = true;
        // Whoever watches polls now, and the poll turns the notifier back
        // on; a watcher that polled another source leaves that to us.
        if (onInput_) {
            const std::function<void()> onInput = onInput_;
            onInput();
            if (readable_)
                Drain();
        }
    });
}

void TXKeySource::Drain()
{
    if (notifier_ && !readable_ && XEventsQueued(dpy_, QueuedAlready) == 0)
        return;
    // Only what has already arrived: XPending reads without blocking.
    while (XPending(dpy_) > 0) {
        XEvent event;
        XNextEvent(dpy_, &event);
        if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
            if (XGetEventData(dpy_, &event.xcookie)) {
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                if (event.xcookie.evtype == XI_RawKeyPress)
                    onKey(raw->detail, true);
                else if (event.xcookie.evtype == XI_RawKeyRelease)
                    onKey(raw->detail, false);
                XFreeEventData(dpy_, &event.xcookie);
            }
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingKeyboard) {
                TErrorTrap trap(dpy_);
                loadKeymap();
            }
        } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
            onXkb(event);
        }
    }
    if (notifier_) {
        readable_ = false;
        notifier_->setEnabled(true);
    }
}

} // namespace

std::unique_ptr<TKeySource> OpenXKeySource(const char* displayName)
{
    const char* name = displayName ? displayName : std::getenv("DISPLAY");
    if (!name || !*name)
        return nullptr;
    Display* dpy = XOpenDisplay(name);
    if (!dpy)
        return nullptr;
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)) {
        XCloseDisplay(dpy);
        return nullptr;
    }
    auto source = std::make_unique<TXKeySource>(dpy, opcode);
    if (!source->start())
        return nullptr;
    source->watchConnection();
    return source;
}

} // namespace quellora
