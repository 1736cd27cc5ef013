#pragma once
// Hands a web or mail link to the user's browser or mail program. The
// result is not examined.

#include <string>

namespace quellora {

void ShellOpen(const std::string& link);

// Where links go instead of the desktop (tests); nullptr restores it.
void SetShellSink(void (*sink)(const std::string&));

} // namespace quellora
