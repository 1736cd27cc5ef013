#pragma once
// Where the program finds its own files, and the file tests it makes.

#include <string>

namespace quellora {

// The directory of the executable, with its trailing "/".
std::string ExeDir();
// Points ExeDir elsewhere (tests); "" goes back to the real directory.
void SetExeDirOverride(const std::string& dir);

// The directory of Default.qfl and Config.ini, with its trailing "/": the
// executable's directory while the program may write there and it lies
// outside /usr and /opt; otherwise (an install for all users, a package)
// $XDG_CONFIG_HOME/quellora/ (~/.config/quellora/), made on first use and
// started from the copies beside the executable.
std::string ConfigDir();

// The process's working directory, without a trailing "/"; "" when it is gone.
std::string WorkingDir();
// `path` as a full path: a relative one is taken from `dir` (a leading "./"
// left off), an absolute one, or any when `dir` is "", is kept as it is.
std::string AbsolutePath(const std::string& path, const std::string& dir);
// The canonical form of an existing directory (symbolic links resolved),
// with its trailing "/"; `dir` itself when it cannot be resolved.
std::string CanonicalDir(const std::string& dir);

// True for an existing file that is not a directory.
bool FileExists(const std::string& path);
// True for a regular file (links followed): what may be read whole without
// waiting on a FIFO's writer or reading a device that never ends.
bool RegularFileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// True for a regular file that holds MPEG audio: its name ends in ".mp3" in
// any capitals, or its first bytes are an ID3v2 tag or an MPEG audio frame
// header. A FIFO or a device is never opened to find out.
bool IsMp3File(const std::string& path);

// `path` with ".", ".." and repeated "/" worked out by name, as a file
// manager writes it: "/music/./a//../b.mp3" is "/music/b.mp3". Only a ".."
// after a symbolic link is worked out on the disk, where it leads.
std::string NormalPath(const std::string& path);

// The path of `path`, with its last component matched without regard to
// letter case in its directory when no file of that exact name exists.
std::string ResolveNoCase(const std::string& path);

} // namespace quellora
