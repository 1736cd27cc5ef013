#include "DirSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace quellora {

namespace {
char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Letters are folded as ASCII only: names are bytes, not text of a locale.
bool matchFrom(const char* name, const char* mask)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*mask == '*') {
            star = mask++;
            resume = name;
        } else if (*mask && (*mask == '?' || lower(*mask) == lower(*name))) {
            ++mask;
            ++name;
        } else if (star) {
            mask = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*mask == '*')
        ++mask;
    return *mask == '\0';
}

int attributesOf(DIR* dir, const dirent* entry)
{
    int attr = entry->d_name[0] == '.' ? faHidden : 0;
    struct stat st {};
    // Links are followed: a link to a directory is a directory.
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0 &&
        fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return entry->d_type == DT_DIR ? attr | faDirectory : attr;
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        attr |= faSysFile;
    if (!(st.st_mode & S_IWUSR))
        attr |= faReadOnly;
    return attr;
}
} // namespace

bool MatchesMask(const std::string& name, const std::string& mask)
{
    // A name with a NUL byte cannot come from the file system; the mask ends there too.
    return matchFrom(name.c_str(), mask.c_str());
}

TDirSearch::~TDirSearch()
{
    FindClose();
}

bool TDirSearch::FindFirst(const std::string& pattern, TSearchRec& rec)
{
    FindClose();
    const auto slash = pattern.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
    mask_ = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    dir_ = opendir(dir.c_str());
    if (!dir_)
        return false;
    if (FindNext(rec))
        return true;
    FindClose();
    return false;
}

bool TDirSearch::FindNext(TSearchRec& rec)
{
    if (!dir_)
        return false;
    while (const dirent* entry = readdir(dir_)) {
        if (!MatchesMask(entry->d_name, mask_))
            continue;
        rec.Name = entry->d_name;
        rec.Attr = attributesOf(dir_, entry);
        return true;
    }
    return false;
}

void TDirSearch::FindClose()
{
    if (dir_)
        closedir(dir_);
    dir_ = nullptr;
}

} // namespace quellora
