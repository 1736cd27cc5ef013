#include "DirSearch.h"

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

// The code point of the well-formed UTF-8 sequence at `pos`, and its length;
// length 0 when the byte there starts none (stray, overlong, surrogate, cut).
std::pair<char32_t, size_t> decodeAt(const std::string& s, size_t pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return {lead, 1};
    size_t len;
    char32_t cp;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
        len = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (pos + len > s.size())
        return {0, 0};
    for (size_t i = 1; i < len; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return {0, 0};
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, len};
}

// Past the last code point: where a byte that is no character sorts.
constexpr char32_t StrayByteKey = 0x110000;

std::u32string sortKey(const std::string& name)
{
    std::u32string key;
    key.reserve(name.size());
    for (size_t pos = 0; pos < name.size();) {
        const auto [cp, len] = decodeAt(name, pos);
        if (len == 0) {
            key.push_back(StrayByteKey + static_cast<unsigned char>(name[pos]));
            ++pos;
        } else {
            key.push_back(QChar::toUpper(cp));
            pos += len;
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
