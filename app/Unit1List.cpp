// The playlist menu of the main window: add a file, load, save and clear
// lists. Every change but "Save list" is saved to Default.qfl at once. Files
// dropped from a file manager, songs named on the command line and the
// arguments that a second start hands over join the list here too.

#include "Unit1.h"

#include "Handler.h"
#include "ListBox.h"
#include "ListFile.h"
#include "Paths.h"
#include "Unit2.h"

#include <strings.h>
#include <unistd.h>

namespace quellora {

bool IsListFileName(const std::string& path)
{
    return path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".qfl") == 0;
}

bool IsSongFile(const std::string& path)
{
    return !IsListFileName(path) && IsMp3File(path);
}

bool IsReadableSong(const std::string& path)
{
    return IsSongFile(path) && FitsListFile(path) && access(path.c_str(), R_OK) == 0;
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

TArgumentFiles SortArgumentFiles(const std::vector<std::string>& args)
{
    TArgumentFiles files;
    for (const std::string& arg : args) {
        if (!FileExists(arg))
            continue;
        (IsSongFile(arg) ? files.songs : files.lists).push_back(arg);
    }
    return files;
}

void TForm1::Loadlist1Click()
{
    if (OpenLisT.Execute() && FileExists(OpenLisT.FileName))
        LoadList(OpenLisT.FileName);
}

void TForm1::LoadList(const std::string& path)
{
    Mp3LisT()->Items().LoadFromFile(path);
    SaveDefaultList();
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
        } else if (IsReadableSong(path)) {
            items.Add(path);
            changed = true;
        }
    }
    if (changed)
        SaveDefaultList();
}

void TForm1::TakeArguments(const std::vector<std::string>& args)
{
    // Not while the window is closing: the player is gone.
    if (!PLayer)
        return;
    // As at start-up, list files first and then the songs, but each list
    // loads as "Load list" loads it and is saved; a second start does not
    // leave the list to the next show. Saved at once, a list is taken by its
    // name alone, as a drop takes it: any other file a desktop hands over
    // (a text, a song of another kind) would replace the user's list for good.
    TArgumentFiles files = SortArgumentFiles(args);
    std::erase_if(files.lists, [](const std::string& path) { return !IsListFileName(path); });
    for (const std::string& list : files.lists)
        RunHandler([&] { LoadList(list); });
    if (!files.songs.empty())
        RunHandler([&] { takeMp3Arguments(files.songs); });
    // A start with nothing to open asks for the window.
    if (files.lists.empty() && files.songs.empty())
        BringToFront();
}

int TForm1::ListSong(const std::string& path)
{
    TStringListModel& items = Mp3LisT()->Items();
    for (int i = 0; i < items.Count(); ++i)
        if (items.Items()[size_t(i)] == path)
            return i;
    items.Add(path);
    return items.Count() - 1;
}

void TForm1::takeMp3Arguments(const std::vector<std::string>& songs)
{
    // Songs join the end of the list and are saved with it, as "Add file"
    // does; one already in the list is played from its place instead of
    // being added a second time, and one the list cannot take is left out.
    // The first one plays.
    const int count = Mp3LisT()->Items().Count();
    int first = -1;
    for (const std::string& song : songs) {
        // A song is kept by its full path, as "Add file" gives it.
        const std::string path = NormalPath(AbsolutePath(song, WorkingDir()));
        if (!IsReadableSong(path))
            continue;
        const int at = ListSong(path);
        if (first < 0)
            first = at;
    }
    if (Mp3LisT()->Items().Count() > count)
        RunHandler([this] { SaveDefaultList(); });
    if (first < 0)
        return;
    Mp3LisT()->SetItemIndex(first);
    Mp3LisTDblClick();
}

} // namespace quellora
