#pragma once
// The action keys in a Wayland session, where the compositor shows no
// client the keys typed into another: the desktop portal's global
// shortcuts. Until the desktop has bound them (or when it never does) the
// keys come from the source the session has otherwise (XWayland's keyboard,
// or none); from then on a shortcut pressed is the press of its key, read
// by the poll like any other.

#include "KeyState.h"

#include <memory>

namespace quellora {

// Needs the application object; `fallback` delivers the keys meanwhile.
std::unique_ptr<TKeySource> OpenPortalKeySource(std::unique_ptr<TKeySource> fallback);

} // namespace quellora
