#include "SafeFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quellora {

namespace {

constexpr size_t BufferSize = 1 << 20;
constexpr std::string_view TempMark = ".save-";
constexpr size_t RandomPart = 6; // the XXXXXX of mkostemp

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The real file behind a symbolic link is the one to replace; a link to a
// file that does not exist yet names the file to make.
std::string resolveTarget(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        char buffer[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), buffer, sizeof buffer);
        if (n <= 0 || size_t(n) >= sizeof buffer)
            break;
        const std::string link(buffer, size_t(n));
        current = link.front() == '/' ? link : directoryOf(current) + link;
    }
    return current;
}

mode_t newFileMode()
{
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

// The writer's pid in a temporary name of `target`, or 0 when the name is
// not one that this program gives.
pid_t tempNameOwner(std::string_view name, std::string_view target)
{
    const std::string prefix = "." + std::string(target) + std::string(TempMark);
    if (name.size() <= prefix.size() + 1 + RandomPart || name.substr(0, prefix.size()) != prefix)
        return 0;
    const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - 1 - RandomPart);
    const std::string_view random = name.substr(name.size() - RandomPart);
    if (name[name.size() - RandomPart - 1] != '.' || digits.empty() || digits.size() > 10 || digits.front() == '0')
        return 0;
    long long pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    for (char c : random)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return 0;
    return pid > 0 && pid <= INT_MAX ? pid_t(pid) : 0;
}

bool processGone(pid_t pid)
{
    return kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes what killed saves of `target` left in its directory: temporary
// files of this program's own naming, owned by this user, whose writer has
// ended and which nobody holds locked. Anything else is left alone.
void removeLeftovers(const std::string& target)
{
    const std::string dirPath = directoryOf(target);
    const std::string name = nameOf(target);
    DIR* dir = opendir(dirPath.empty() ? "." : dirPath.c_str());
    if (!dir)
        return;
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const pid_t writer = tempNameOwner(entry->d_name, name);
        if (writer == 0 || !processGone(writer))
            continue;
        struct stat st {};
        if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened {};
        // A writer in another pid namespace shows no pid here, but its lock.
        if (fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino &&
            flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    closedir(dir);
}

} // namespace

TSafeFileWriter::TSafeFileWriter(const std::string& path) : target_(resolveTarget(path))
{
    removeLeftovers(target_);

    // A file that exists is written only if the user may write it, and only a plain file.
    struct stat st {};
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0))
        return;

    std::string temp = directoryOf(target_) + "." + nameOf(target_) + std::string(TempMark) +
                       std::to_string(getpid()) + "." + std::string(RandomPart, 'X');
    fd_ = mkostemp(temp.data(), O_CLOEXEC);
    if (fd_ >= 0) {
        temp_ = std::move(temp);
        flock(fd_, LOCK_EX);
        // The replacement keeps the file's permissions and, where allowed, its owner.
        if (fchmod(fd_, exists ? st.st_mode & 07777 : newFileMode()) != 0)
            failed_ = true;
        if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()) && fchown(fd_, st.st_uid, st.st_gid) != 0)
            (void)!fchown(fd_, uid_t(-1), st.st_gid);
    } else {
        // No new file can be made beside it (a read-only directory, a name
        // too long for the temporary one): write the file itself.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    }
    buffer_.reserve(BufferSize);
}

TSafeFileWriter::~TSafeFileWriter()
{
    if (fd_ >= 0) {
        ::close(fd_);
        if (!temp_.empty())
            ::unlink(temp_.c_str());
    }
}

void TSafeFileWriter::write(std::string_view data)
{
    if (failed_ || fd_ < 0)
        return;
    // In place, the old content goes only when the new one starts.
    if (!truncated_ && temp_.empty() && ftruncate(fd_, 0) != 0)
        failed_ = true;
    truncated_ = true;
    if (!failed_ && !writeAll(fd_, data))
        failed_ = true;
}

void TSafeFileWriter::flush()
{
    if (!buffer_.empty())
        write(buffer_);
    buffer_.clear();
}

void TSafeFileWriter::Append(std::string_view data)
{
    if (fd_ < 0)
        return;
    if (buffer_.size() + data.size() > BufferSize)
        flush();
    if (data.size() >= BufferSize) {
        write(data);
        return;
    }
    buffer_.append(data);
}

SafeWriteResult TSafeFileWriter::Commit()
{
    if (fd_ < 0)
        return SafeWriteResult::CreateFailed;
    flush();
    write({}); // an empty file is written too
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (temp_.empty())
        return failed_ || !closed ? SafeWriteResult::WriteFailed : SafeWriteResult::Ok;
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
    // Only a regular file has an end: a device such as /dev/zero would be
    // read until memory runs out, and a FIFO opened without blocking holds
    // nothing yet.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    data.clear();
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
