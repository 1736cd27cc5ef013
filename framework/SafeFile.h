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

// The same, for data produced in pieces: Append buffers, Commit renames the
// finished temporary over the target. Without Commit the target is untouched.
class TSafeFileWriter {
public:
    explicit TSafeFileWriter(const std::string& path);
    ~TSafeFileWriter();
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    bool Created() const { return fd_ >= 0; }
    void Append(std::string_view data);
    SafeWriteResult Commit();

private:
    void flush();

    std::string target_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
    std::string buffer_;
};

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& data);

} // namespace quellora
