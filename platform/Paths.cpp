#include "Paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

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

bool FileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
