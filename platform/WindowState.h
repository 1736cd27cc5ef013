#pragma once
// What the window system remembers of a top-level window between two shows.

class QWindow;

namespace quellora {

// The next time `window` is shown it comes up on screen, not iconified: on
// X11 a minimise leaves "iconic" as the window's start state, and a window
// that was hidden while minimised would otherwise be mapped straight back
// into the taskbar. Does nothing elsewhere or before the window exists.
void ClearIconicStartState(QWindow* window);

} // namespace quellora
