#pragma once
// What a screen reader learns of the framework's windows and controls,
// beyond what Qt tells it by itself: the forms as windows and dialogs, the
// list box with its items, link labels, and drop-down lists named by the
// label beside them.

namespace quellora {

// Installs the framework's accessible interfaces; the windows and controls
// call it as they are made, and only the first call does anything.
void InstallFrameworkAccessibility();

} // namespace quellora
