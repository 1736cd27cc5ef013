#pragma once
// The system-wide key state, polled like GetAsyncKeyState: for each
// virtual-key code, whether the key is down now and whether it has been
// pressed since the previous query of that code.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quellora {

// Virtual-key codes run from 1 to 254.
constexpr int KeyCodeCount = 256;

constexpr int VkShift = 16;

// State word bits.
constexpr std::uint16_t KeyDownBit = 0x8000;
constexpr std::uint16_t KeyPressedBit = 0x0001;

// Per-code memory of presses and releases. A key counts as down while more
// presses than releases have been seen for its code (left and right Shift
// share one code).
class TKeyLatch {
public:
    void Press(int code);
    void Release(int code);
    // The state word; clears the pressed bit of the code.
    std::uint16_t Query(int code);
    void Clear();

private:
    static bool valid(int code) { return code > 0 && code < KeyCodeCount; }
    std::array<std::uint8_t, KeyCodeCount> down_{};
    std::array<bool, KeyCodeCount> pressed_{};
};

// One action's key as the settings bind it.
struct TActionKey {
    std::string id;          // "next", "volume-up", ...
    std::string description; // in the settings dialog's words
    std::string name;        // the key name, "none" or ""
};

// An action's key that the desktop bound otherwise than it was asked to:
// the desktop's own words for the trigger, "" when it bound none.
struct TGrantedKey {
    std::string id;
    std::string trigger;
};

class TKeySource {
public:
    virtual ~TKeySource() = default;
    // Takes in what happened since the previous poll.
    virtual void Drain() {}
    // The 16-bit state word of one code; clears its pressed bit.
    virtual std::uint16_t GetAsyncKeyState(int code) = 0;
    // Has the event loop run `onInput` whenever something has arrived that
    // the next poll takes in, so that nobody needs to poll on a timer; an
    // empty function stops it. False when this source cannot tell when keys
    // arrive: it then has to be polled.
    virtual bool WatchInput(std::function<void()> /*onInput*/) { return false; }
    // False for the source that never reports a key (no X11 keyboard).
    virtual bool Listening() const { return true; }

    // The actions' keys. A source that hears every key (X11) needs none; the
    // desktop's portal is asked for each of them as a shortcut.
    virtual void SetActionKeys(const std::vector<TActionKey>& /*keys*/) {}
    // The keys the desktop bound otherwise than asked; none when it bound
    // all as asked.
    virtual std::vector<TGrantedKey> OtherGrants() const { return {}; }
    // Has `onChange` run whenever OtherGrants may have changed; an empty
    // function stops it.
    virtual void WatchGrants(std::function<void()> /*onChange*/) {}
};

// The process's key source: the X server's keyboard when the program shows
// its windows through X11 and the display can be opened, otherwise a source
// that never reports a key; in a Wayland session the desktop portal's
// shortcuts take over from either once the desktop has bound them.
TKeySource& KeySource();
// Puts another source in place (tests); nullptr goes back to the default.
void SetKeySource(TKeySource* source);

} // namespace quellora
