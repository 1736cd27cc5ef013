#pragma once
// The open and save dialogs: title, one-entry filter ("Text|*.ext"), default
// extension, initial directory, and the file name last chosen offered again
// (in its folder).
// Tests install a script that answers instead of the user.

#include <functional>
#include <optional>
#include <string>

namespace quellora {

struct TFileDialogRequest {
    bool save = false;
    std::string title;
    std::string filter;
    std::string defaultExt;
    std::string initialDir;
    std::string fileName; // the name offered
};

class TFileDialog {
public:
    explicit TFileDialog(bool save) : save_(save) {}

    std::string Title;
    std::string Filter;
    std::string DefaultExt;
    std::string InitialDir;
    std::string FileName;

    // True when the user confirmed; FileName then holds the chosen path.
    bool Execute();

    using Script = std::function<std::optional<std::string>(const TFileDialogRequest&)>;
    static void SetScript(Script script);

private:
    bool save_;
};

class TOpenDialog : public TFileDialog {
public:
    TOpenDialog() : TFileDialog(false) {}
};

class TSaveDialog : public TFileDialog {
public:
    TSaveDialog() : TFileDialog(true) {}
};

// The folder a dialog opens in. An initial folder that names no folder here
// (the drives "C:\" and "C" the dialogs were laid out with) gives the folder
// last chosen from in this run, at first the user's music folder, or home.
std::string MapInitialDir(const std::string& dir);

} // namespace quellora
