// The playlist menu of the main window: add a file, load, save and clear
// lists. Every change but "Save list" is saved to Default.qfl at once. Files
// dropped from a file manager and songs named on the command line join the
// list here too.

#include "Unit1.h"

#include "Handler.h"
#include "ListBox.h"
#include "ListFile.h"
#include "Paths.h"
#include "Unit2.h"

#include <strings.h>
#include <unistd.h>

#include <climits>

namespace quellora {

namespace {

// A song is kept by its full path, as "Add file" gives it.
std::string fullPath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    std::string relative = path;
    while (relative.rfind("./", 0) == 0)
        relative.erase(0, 2);
    std::string dir = cwd;
    if (dir.back() != '/')
        dir += '/';
    return dir + relative;
}

int indexOf(const TStringListModel& items, const std::string& item)
{
    for (int i = 0; i < items.Count(); ++i)
        if (items.Items()[size_t(i)] == item)
            return i;
    return -1;
}

} // namespace

bool IsListFileName(const std::string& path)
{
    return path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".qfl") == 0;
}

bool IsSongFile(const std::string& path)
{
    return !IsListFileName(path) && IsMp3File(path);
}

void TForm1::SaveDefaultList()
{
    Mp3LisT()->Items().SaveToFile(DefaultListPath());
}

void TForm1::Addfile1Click()
{
    if (OpenFile.Execute() && FileExists(OpenFile.FileName)) {
        Mp3LisT()->Items().Add(OpenFile.FileName);
        SaveDefaultList();
    }
}

void TForm1::Loadlist1Click()
{
    if (OpenLisT.Execute() && FileExists(OpenLisT.FileName)) {
        Mp3LisT()->Items().LoadFromFile(OpenLisT.FileName);
        SaveDefaultList();
    }
}

void TForm1::Savelist1Click()
{
    if (SaveLisT.Execute() && !SaveLisT.FileName.empty())
        Mp3LisT()->Items().SaveToFile(SaveLisT.FileName);
}

void TForm1::Clearlist1Click()
{
    Mp3LisT()->Items().Clear();
    SaveDefaultList();
}

void TForm1::Mp3LisTDropFiles(const std::vector<std::string>& paths)
{
    // The list files come first, in the order dropped: the first replaces the
    // list and each further one follows it, as if they were one list. They are
    // all read before anything changes, so one that cannot be read is
    // reported and the drop changes nothing.
    bool changed = false;
    ByteStrings fromLists;
    for (const std::string& path : paths) {
        if (IsListFileName(path) && FileExists(path)) {
            for (std::string_view item : LoadListFile(path))
                fromLists.push_back(item);
            changed = true;
        }
    }
    TStringListModel& items = Mp3LisT()->Items();
    if (changed)
        items.Assign(std::move(fromLists));
    // Then songs and folders, in the order dropped; other files are left out.
    for (const std::string& path : paths) {
        if (DirectoryExists(path)) {
            ScanDirectory(path.back() == '/' ? path : path + "/", items);
            changed = true;
        } else if (IsSongFile(path)) {
            items.Add(path);
            changed = true;
        }
    }
    if (changed)
        SaveDefaultList();
}

void TForm1::takeMp3Arguments(const std::vector<std::string>& songs)
{
    // Songs join the end of the list and are saved with it, as "Add file"
    // does; one already in the list is played from its place instead of
    // being added a second time. The first one plays.
    TStringListModel& items = Mp3LisT()->Items();
    bool added = false;
    int first = -1;
    for (const std::string& song : songs) {
        const std::string path = fullPath(song);
        int at = indexOf(items, path);
        if (at < 0) {
            items.Add(path);
            at = items.Count() - 1;
            added = true;
        }
        if (first < 0)
            first = at;
    }
    if (added)
        RunHandler([this] { SaveDefaultList(); });
    Mp3LisT()->SetItemIndex(first);
    Mp3LisTDblClick();
}

} // namespace quellora
