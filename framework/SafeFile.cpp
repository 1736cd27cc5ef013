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

} // namespace

SafeWriteResult WriteFileAtomically(const std::string& path, std::string_view data)
{
    const std::string target = resolveTarget(path);
    std::string tmpl = target + ".XXXXXX";
    const int fd = mkstemp(tmpl.data());
    if (fd < 0)
        return SafeWriteResult::CreateFailed;
    const bool written = fchmod(fd, modeFor(target)) == 0 && writeAll(fd, data);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(tmpl.c_str(), target.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return SafeWriteResult::WriteFailed;
    }
    return SafeWriteResult::Ok;
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
