#pragma once
// Which of Qt's platform plugins the player asks for, decided before the
// application object exists. The shaped window and its place on the screen
// need X11, so in a Wayland session the player goes through the session's X
// server (XWayland) whenever one answers, and runs as a plain Wayland client
// only when none does.

#include <string>

namespace quellora {

// What the choice looks at: the environment and whether an X display answers.
struct TSessionFacts {
    std::string qtPlatform;     // $QT_QPA_PLATFORM
    std::string waylandDisplay; // $WAYLAND_DISPLAY
    std::string sessionType;    // $XDG_SESSION_TYPE
    bool xAnswers = false;      // $DISPLAY names an X server that accepts us
};

// The plugin list for QT_QPA_PLATFORM, or "" to leave Qt's own choice: the
// user's choice stands, and outside a Wayland session Qt's default is X11.
std::string ChooseQtPlatform(const TSessionFacts& facts);

// The facts of this process. Connects to $DISPLAY only in a Wayland session.
TSessionFacts CurrentSessionFacts();

// The process runs in a Wayland session ($WAYLAND_DISPLAY or
// $XDG_SESSION_TYPE say so), whether it shows itself through XWayland or not.
bool InWaylandSession();

} // namespace quellora
