#pragma once
// The main window: skin, playlist, playback buttons, status line, gauge,
// tray icon and the heartbeat timer.

#include "FileDialogs.h"
#include "Forms.h"

#include <QImage>
#include <QRegion>
#include <memory>
#include <string>
#include <vector>

class QMenu;

namespace Ui {
class Form1;
}

namespace quellora {

class TCoolTrayIcon;
class TKeySource;
class TListBox;
class TMediaPlayer;
class TOnScreen;
class TTimer;

class TForm1 : public TForm {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // The status line: "", "Playing <F>" or "Pause <F>", compared byte for byte.
    const std::string& StatusLine() const { return status_; }
    void SetStatusLine(const std::string& text);

    TListBox* Mp3LisT() const;
    TCoolTrayIcon* TrayIcon = nullptr;
    TTimer* GeT = nullptr;
    // The media player device; never visible.
    TMediaPlayer* PLayer = nullptr;
    QMenu* LisTMenu = nullptr;
    TOpenDialog OpenFile;
    TOpenDialog OpenLisT;
    TSaveDialog SaveLisT;

    // The skin bitmap shown by Bck; empty when the file was missing.
    QImage SkinBitmap;
    // The window's shape, built once from SkinBitmap.
    QRegion SkinRegion;

    // Housekeeping handlers.
    void Button1Click(); // ExiT
    void Button2Click(); // Config
    void Button6Click(); // About
    void Button7Click(); // Minimize
    void Adddirectory1Click();
    void TrayIconClick();
    void ExiTNoW();
    // One volume step of 100 up or down, within 0..1000.
    void ADDVoLume();
    void TakeVoLume();
    // Sets the player's volume (0..1000) from outside the window.
    void SetPlayerVolume(int volume);
    // Brings the window to the front, out of the tray or the taskbar too.
    void BringToFront();

    // Playlist menu.
    void Addfile1Click();
    void Loadlist1Click();
    void Savelist1Click();
    void Clearlist1Click();
    // Loads a list file in place of the list and saves it to Default.qfl.
    void LoadList(const std::string& path);
    std::string DefaultListPath() const;
    void SaveDefaultList();
    // Files dropped on the list from a file manager.
    void Mp3LisTDropFiles(const std::vector<std::string>& paths);
    // The arguments of a second start of the player, handed over to this
    // one (full paths): acted on as if given at start-up.
    void TakeArguments(const std::vector<std::string>& args);
    // The place of a song from outside ("Open with", the media controls), by
    // its full path: one already listed stays where it is, another joins the
    // end (not saved).
    int ListSong(const std::string& path);

    // Playback.
    void Button3Click(); // Play
    void Button4Click(); // Pause
    void Button5Click(); // Stop
    void Mp3LisTDblClick();
    void GeTTimer();
    // The gauge shows the device's length and position, as a tick sets it;
    // also while paused, when the position was moved from outside.
    void UpdateGauge();
    // The device has completed a command with notification.
    void PLayerNotify();
    // The three ways to start a file (a double-click is the third).
    void StartRandom();
    void StartNext();
    void StartPrevious();
    // Selects the item at `index` and starts it as the next start does.
    void startSelected(int index);
    bool PlayRandom() const;

    static std::string SkinErrorMessage();

    Ui::Form1* ui;

signals:
    // The status line was written: a start, a pause or resume, a stop, an end.
    // Sent at every write, also when the text stays the same (a file started again).
    void StatusLineChanged();
    // The player's volume was set (a volume key, or from outside).
    void VolumeChanged();

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormClose() override;
    // Draws SkinBitmap at (0, 0) where `area` needs it.
    void FormPaint(const QRegion& area);
    void paintEvent(QPaintEvent* event) override;

private:
    void connectHandlers();
    void buildMenu();
    void loadSkin();
    void loadBanner(const std::string& path);
    void applySkinRegion();
    void stopPlayer();
    void openAndPlay();
    void releaseComponents();
    void takeMp3Arguments(const std::vector<std::string>& songs);
    // The heartbeat runs only while something is due: keys come from the
    // key source's own events, the gauge and the end check from GeT while a
    // file plays and the window is on the screen (the device's report of the
    // end runs a tick when nobody sees the gauge).
    void watchKeys();
    void unwatchKeys();
    void scheduleTicks(bool soon);
    int gaugeStepMs() const;

    std::string status_;
    // MP3 files named on the command line are taken at the first show only.
    bool mp3ArgumentsTaken_ = false;
    TKeySource* keysWatched_ = nullptr;
    TOnScreen* onScreen_ = nullptr;
    // The key source cannot say when keys arrive: every tick polls it.
    bool keysPolled_ = false;
};

extern TForm1* Form1;

// The file last started by a double-click.
extern std::string CurrentFile;

// A file that the list takes as a song: MPEG audio by its name or its
// content (IsMp3File), unless its name ends in ".qfl", which always names a
// list file.
bool IsSongFile(const std::string& path);
bool IsListFileName(const std::string& path);
// A song the list takes from outside (the command line, a drop, the media
// controls): a song file that can be read, whose name fits in a list file.
bool IsReadableSong(const std::string& path);

// The existing files among command-line arguments, in their order: the
// songs, and every other file, which is read as a list file.
struct TArgumentFiles {
    std::vector<std::string> songs;
    std::vector<std::string> lists;
};
TArgumentFiles SortArgumentFiles(const std::vector<std::string>& args);

// The status line while file F plays, and while it is paused.
std::string PlayingStatus(const std::string& file);
std::string PauseStatus(const std::string& file);

} // namespace quellora
