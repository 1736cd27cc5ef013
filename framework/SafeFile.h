#pragma once
// Writes a whole file through a temporary file in the same directory that is
// renamed over the target, so a failure or a crash never leaves it cut short.

#include <string>
#include <string_view>

namespace quellora {

enum class SafeWriteResult {
    Ok,
    CreateFailed, // the temporary file could not be made
    WriteFailed,  // not every byte reached the disk, or the rename failed
};

SafeWriteResult WriteFileAtomically(const std::string& path, std::string_view data);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& data);

} // namespace quellora
