#pragma once
// Writes a whole file through a temporary file in the same directory that is
// renamed over the target, so a failure or a crash never leaves it cut short.
// The user's say comes first: a file that may not be written is refused and
// kept as it was, and a writable file in a directory that takes no new files
// is rewritten in place instead. A symbolic link stays a link: the file
// behind it is the one replaced.
//
// A temporary file is named ".<target name>.save-<pid>.XXXXXX" and locked
// while its save runs, so that a later save of the same target can tell the
// leftovers of killed saves from saves still running in other processes and
// remove only the former.

#include <string>
#include <string_view>

namespace quellora {

enum class SafeWriteResult {
    Ok,
    CreateFailed, // the file may not be written, is no file, or could not be made
    WriteFailed,  // not every byte reached the disk, or the rename failed
};

SafeWriteResult WriteFileAtomically(const std::string& path, std::string_view data);

// The same, for data produced in pieces: Append buffers, Commit puts the
// finished data in place. Without Commit the target is untouched, unless it
// is being rewritten in place and more than one buffer has been written.
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
    void write(std::string_view data);

    std::string target_;
    std::string temp_; // empty when the target is rewritten in place
    int fd_ = -1;
    bool failed_ = false;
    bool truncated_ = false;
    std::string buffer_;
};

// Reads a whole regular file; false when it cannot be opened or read, or
// is no regular file (a folder, a device, a FIFO).
bool ReadWholeFile(const std::string& path, std::string& data);

} // namespace quellora
