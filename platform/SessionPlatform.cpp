#include "SessionPlatform.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace quellora {

namespace {

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool waylandSession(const TSessionFacts& facts)
{
    return !facts.waylandDisplay.empty() || facts.sessionType == "wayland";
}

// A DISPLAY left over from another session, or an X server that is gone,
// must not keep the player from starting: only an answer counts.
bool xServerAnswers()
{
    const std::string name = env("DISPLAY");
    if (name.empty())
        return false;
    Display* dpy = XOpenDisplay(name.c_str());
    if (!dpy)
        return false;
    XCloseDisplay(dpy);
    return true;
}

} // namespace

std::string ChooseQtPlatform(const TSessionFacts& facts)
{
    if (!facts.qtPlatform.empty() || !waylandSession(facts))
        return "";
    // X11 when it is there; otherwise Wayland, and X11 still as Qt's
    // fallback should the Wayland plugin be missing.
    return facts.xAnswers ? "xcb" : "wayland;xcb";
}

namespace {

TSessionFacts environmentFacts()
{
    TSessionFacts facts;
    facts.qtPlatform = env("QT_QPA_PLATFORM");
    facts.waylandDisplay = env("WAYLAND_DISPLAY");
    facts.sessionType = env("XDG_SESSION_TYPE");
    return facts;
}

} // namespace

bool InWaylandSession()
{
    return waylandSession(environmentFacts());
}

TSessionFacts CurrentSessionFacts()
{
    TSessionFacts facts = environmentFacts();
    if (facts.qtPlatform.empty() && waylandSession(facts))
        facts.xAnswers = xServerAnswers();
    return facts;
}

} // namespace quellora
