#include "Paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace quellora {

namespace {
std::string& overrideDir()
{
    static std::string dir;
    return dir;
}
} // namespace

std::string ExeDir()
{
    if (!overrideDir().empty())
        return overrideDir();
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    std::string path(buffer, size_t(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

void SetExeDirOverride(const std::string& dir)
{
    overrideDir() = dir.empty() || dir.back() == '/' ? dir : dir + "/";
}

namespace {

std::string userConfigHome()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return std::string(home) + "/.config";
}

// mkdir -p, new directories private to the user.
void makeDirectories(const std::string& dir)
{
    for (size_t at = 1; at <= dir.size(); ++at) {
        if (at == dir.size() || dir[at] == '/') {
            const std::string part = dir.substr(0, at);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return;
        }
    }
}

bool readAll(const std::string& path, std::string& bytes)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, size_t(n));
    close(fd);
    return n == 0;
}

// Copies `from` to `to` when `to` is missing, through a temporary file, so a
// failed copy never leaves a file cut short in its place.
void seedCopy(const std::string& from, const std::string& to)
{
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0 || stat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    std::string bytes;
    if (!readAll(from, bytes))
        return;
    std::string temp = to + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0)
        return;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    const bool whole = done == bytes.size() && fchmod(fd, 0644) == 0;
    if (close(fd) != 0 || !whole || rename(temp.c_str(), to.c_str()) != 0)
        unlink(temp.c_str());
}

// The system's own software (a package, an install for all users) lies under
// /usr or /opt, which programs never write to, not even when root runs them:
// what they left there would outlive the package's removal.
bool systemFolder(const std::string& dir)
{
    return dir.rfind("/usr/", 0) == 0 || dir.rfind("/opt/", 0) == 0;
}

} // namespace

std::string ConfigDir()
{
    const std::string exeDir = ExeDir();
    if (!systemFolder(exeDir) && access(exeDir.c_str(), W_OK) == 0)
        return exeDir;
    const std::string dir = userConfigHome() + "/quellora/";
    makeDirectories(dir.substr(0, dir.size() - 1));
    for (const char* name : {"Default.qfl", "Config.ini"})
        seedCopy(exeDir + name, dir + name);
    return dir;
}

std::string WorkingDir()
{
    char* cwd = getcwd(nullptr, 0);
    if (!cwd)
        return "";
    std::string dir = cwd;
    free(cwd);
    return dir;
}

std::string AbsolutePath(const std::string& path, const std::string& dir)
{
    if ((!path.empty() && path[0] == '/') || dir.empty())
        return path;
    std::string relative = path;
    while (relative.rfind("./", 0) == 0)
        relative.erase(0, 2);
    return (dir.back() == '/' ? dir : dir + '/') + relative;
}

std::string CanonicalDir(const std::string& dir)
{
    char* resolved = realpath(dir.c_str(), nullptr);
    if (!resolved)
        return dir;
    std::string canonical = resolved;
    free(resolved);
    return canonical.back() == '/' ? canonical : canonical + '/';
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool RegularFileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

bool endsWithNoCase(const std::string& path, const char* tail)
{
    const size_t n = strlen(tail);
    return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, tail) == 0;
}

// "ID3", version 2 to 4, a revision below 0xFF, and a size of four 7-bit bytes.
bool isId3v2Tag(const unsigned char* b, size_t n)
{
    if (n < 10 || b[0] != 'I' || b[1] != 'D' || b[2] != '3')
        return false;
    if (b[3] < 2 || b[3] > 4 || b[4] == 0xFF)
        return false;
    return ((b[6] | b[7] | b[8] | b[9]) & 0x80) == 0;
}

// Eleven sync bits, then a version, a layer, a bit rate and a sample rate
// that are none of the reserved or invalid values. ADTS (AAC) has layer 0
// and is refused.
bool isMpegAudioFrame(const unsigned char* b, size_t n)
{
    if (n < 4 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    const int version = (b[1] >> 3) & 3, layer = (b[1] >> 1) & 3;
    const int bitrate = b[2] >> 4, rate = (b[2] >> 2) & 3;
    return version != 1 && layer != 0 && bitrate != 0 && bitrate != 15 && rate != 3;
}

} // namespace

bool IsMp3File(const std::string& path)
{
    if (!RegularFileExists(path))
        return false;
    if (endsWithNoCase(path, ".mp3"))
        return true;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char head[10];
    const ssize_t n = read(fd, head, sizeof head);
    close(fd);
    if (n <= 0)
        return false;
    return isId3v2Tag(head, size_t(n)) || isMpegAudioFrame(head, size_t(n));
}

std::string NormalPath(const std::string& path)
{
    const bool absolute = !path.empty() && path[0] == '/';
    const auto joined = [absolute](const std::vector<std::string>& parts) {
        std::string normal;
        for (const std::string& part : parts) {
            if (absolute || !normal.empty())
                normal += '/';
            normal += part;
        }
        return normal.empty() && absolute ? std::string("/") : normal;
    };
    std::vector<std::string> parts;
    for (size_t at = 0; at < path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view part(path.data() + at, end - at);
        if (part == "..") {
            // After a symbolic link, ".." leads out of the folder the link
            // points to, not back to where the link lies: that step is
            // taken on the disk, or the name would stand for another file.
            struct stat st {};
            const std::string walked = joined(parts);
            if (absolute && !parts.empty() && lstat(walked.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                if (char* real = realpath(walked.c_str(), nullptr)) {
                    const std::string target(real);
                    free(real);
                    parts.clear();
                    for (size_t from = 1; from < target.size();) {
                        const size_t slash = std::min(target.find('/', from), target.size());
                        parts.push_back(target.substr(from, slash - from));
                        from = slash + 1;
                    }
                }
            }
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        at = end + 1;
    }
    return joined(parts);
}

std::string ResolveNoCase(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return path;
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* d = opendir(dir.c_str());
    if (!d)
        return path;
    std::string found = path;
    while (dirent* entry = readdir(d)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = (slash == std::string::npos ? std::string() : dir) + entry->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

} // namespace quellora
