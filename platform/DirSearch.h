#pragma once
// A directory search in the manner of a find-first/find-next loop: the
// entries of one directory whose names match a wildcard pattern, each with
// its name and attribute word, in the order of a case-insensitive file
// system: by name, compared by upper-cased characters (readdir gives a hash
// order, which would shuffle an album's tracks). Names are read as UTF-8; a
// byte that is no part of a character sorts as a character of its own after
// every real one, and names that still compare equal ("a.mp3", "A.mp3") fall
// back to their bytes, so any set of names has one order.

#include <cstddef>
#include <string>
#include <vector>

namespace quellora {

// Bits of an entry's attribute word.
enum : int {
    faReadOnly = 0x01,  // no write permission for the owner
    faHidden = 0x02,    // the name starts with "."
    faSysFile = 0x04,   // neither a regular file nor a directory (FIFO, socket, device)
    faDirectory = 0x10,
};

struct TSearchRec {
    std::string Name; // the entry's name as bytes
    int Attr = 0;
};

// "*" matches any run of bytes, "?" any one byte; letters match without regard to case.
bool MatchesMask(const std::string& name, const std::string& mask);

class TDirSearch {
public:
    TDirSearch() = default;
    ~TDirSearch();
    TDirSearch(const TDirSearch&) = delete;
    TDirSearch& operator=(const TDirSearch&) = delete;

    // `pattern` is a directory followed by a name mask ("/music/*.mp3"); a
    // pattern without "/" searches the current directory. False when the
    // directory cannot be read or holds no matching entry. The directory is
    // read whole here, as sorting needs every name.
    bool FindFirst(const std::string& pattern, TSearchRec& rec);
    // False when no further entry matches.
    bool FindNext(TSearchRec& rec);
    void FindClose();

private:
    std::vector<TSearchRec> found_;
    size_t next_ = 0;
};

} // namespace quellora
