#pragma once
// Where the program finds its own files, and the file tests it makes.

#include <string>

namespace quellora {

// The directory of the executable, with its trailing "/".
std::string ExeDir();
// Points ExeDir elsewhere (tests); "" goes back to the real directory.
void SetExeDirOverride(const std::string& dir);

// True for an existing file that is not a directory.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The path of `path`, with its last component matched without regard to
// letter case in its directory when no file of that exact name exists.
std::string ResolveNoCase(const std::string& path);

} // namespace quellora
