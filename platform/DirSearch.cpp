#include "DirSearch.h"

#include "Utf8.h"

#include <QChar>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

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

// Past the last code point: where a byte that is no character sorts.
constexpr char32_t StrayByteKey = 0x110000;

std::u32string sortKey(const std::string& name)
{
    std::u32string key;
    key.reserve(name.size());
    for (size_t pos = 0; pos < name.size();) {
        const TUtf8Step step = Utf8StepAt(name, pos);
        if (step.Valid) {
            key.push_back(QChar::toUpper(step.Code));
            pos += step.Length;
        } else {
            key.push_back(StrayByteKey + static_cast<unsigned char>(name[pos]));
            ++pos;
        }
    }
    return key;
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
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    // Each name's key is built once, not once a comparison.
    std::vector<std::pair<std::u32string, TSearchRec>> entries;
    while (const dirent* entry = readdir(d))
        if (MatchesMask(entry->d_name, mask))
            entries.push_back({sortKey(entry->d_name), TSearchRec{entry->d_name, attributesOf(d, entry)}});
    closedir(d);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.Name < b.second.Name;
    });
    found_.reserve(entries.size());
    for (auto& entry : entries)
        found_.push_back(std::move(entry.second));
    return FindNext(rec);
}

bool TDirSearch::FindNext(TSearchRec& rec)
{
    if (next_ >= found_.size())
        return false;
    rec = found_[next_++];
    return true;
}

void TDirSearch::FindClose()
{
    found_.clear();
    next_ = 0;
}

} // namespace quellora
