#include "KeyState.h"

#include "PortalKeySource.h"
#include "SessionPlatform.h"
#include "XKeySource.h"

#include <QGuiApplication>

namespace quellora {

void TKeyLatch::Press(int code)
{
    if (!valid(code))
        return;
    pressed_[code] = true;
    if (down_[code] < 255)
        ++down_[code];
}

void TKeyLatch::Release(int code)
{
    if (valid(code) && down_[code] > 0)
        --down_[code];
}

std::uint16_t TKeyLatch::Query(int code)
{
    if (!valid(code))
        return 0;
    std::uint16_t word = down_[code] ? KeyDownBit : 0;
    if (pressed_[code])
        word |= KeyPressedBit;
    pressed_[code] = false;
    return word;
}

void TKeyLatch::Clear()
{
    down_.fill(0);
    pressed_.fill(false);
}

namespace {

class TNoKeySource : public TKeySource {
public:
    std::uint16_t GetAsyncKeyState(int) override { return 0; }
    // Nothing ever arrives, so there is nothing to poll for either.
    bool WatchInput(std::function<void()>) override { return true; }
    bool Listening() const override { return false; }
};

TKeySource* overrideSource = nullptr;

} // namespace

TKeySource& KeySource()
{
    if (overrideSource)
        return *overrideSource;
    // Opened once, on first use, and kept for the life of the process.
    static const std::unique_ptr<TKeySource> source = [] {
        // Keys come from the display the windows are on. A program on
        // another platform (Wayland, or offscreen in the tests) takes none
        // from an X server, which could be another session's.
        const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        const QString platform = gui ? QGuiApplication::platformName() : QString();
        std::unique_ptr<TKeySource> x = gui && platform != "xcb" ? nullptr : OpenXKeySource();
        std::unique_ptr<TKeySource> keys = x ? std::move(x) : std::unique_ptr<TKeySource>(new TNoKeySource);
        // In a Wayland session XWayland hears only the keys typed into X11
        // windows, and a Wayland client none: the desktop's portal is asked
        // for the keys, by a program on the screen (not the tests' offscreen).
        if ((platform == "xcb" || platform.startsWith("wayland")) && InWaylandSession())
            return OpenPortalKeySource(std::move(keys));
        return keys;
    }();
    return *source;
}

void SetKeySource(TKeySource* source)
{
    overrideSource = source;
}

} // namespace quellora
