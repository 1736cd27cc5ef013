#include "SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quellora {

namespace {

// The real file behind a symbolic link is the one to replace.
std::string resolveTarget(const std::string& path)
{
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer))
        return buffer;
    return path;
}

mode_t modeFor(const std::string& target)
{
    struct stat st {};
    if (stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, std::string_view data)
{
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

constexpr size_t BufferSize = 1 << 20;

} // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& path) : target_(resolveTarget(path)), temp_(target_ + ".XXXXXX")
{
    fd_ = mkstemp(temp_.data());
    if (fd_ >= 0 && fchmod(fd_, modeFor(target_)) != 0)
        failed_ = true;
    buffer_.reserve(BufferSize);
}

TSafeFileWriter::~TSafeFileWriter()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temp_.c_str());
    }
}

void TSafeFileWriter::flush()
{
    if (!failed_ && fd_ >= 0 && !writeAll(fd_, buffer_))
        failed_ = true;
    buffer_.clear();
}

void TSafeFileWriter::Append(std::string_view data)
{
    if (buffer_.size() + data.size() > BufferSize)
        flush();
    if (data.size() >= BufferSize) {
        if (!failed_ && fd_ >= 0 && !writeAll(fd_, data))
            failed_ = true;
        return;
    }
    buffer_.append(data);
}

SafeWriteResult TSafeFileWriter::Commit()
{
    if (fd_ < 0)
        return SafeWriteResult::CreateFailed;
    flush();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (failed_ || !closed || std::rename(temp_.c_str(), target_.c_str()) != 0) {
        ::unlink(temp_.c_str());
        return SafeWriteResult::WriteFailed;
    }
    return SafeWriteResult::Ok;
}

SafeWriteResult WriteFileAtomically(const std::string& path, std::string_view data)
{
    TSafeFileWriter writer(path);
    if (!writer.Created())
        return SafeWriteResult::CreateFailed;
    writer.Append(data);
    return writer.Commit();
}

bool ReadWholeFile(const std::string& path, std::string& data)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    data.clear();
    if (S_ISREG(st.st_mode))
        data.reserve(size_t(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        data.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

} // namespace quellora
