#pragma once
// The add-directory dialog: appends every MP3 file of one directory to the
// playlist and saves the playlist as Default.qfl.

#include "Forms.h"

#include <string>

namespace Ui {
class Form2;
}

namespace quellora {

class TStringListModel;

// Appends dir + name for every entry of `dir` (ending in "/") matching
// "*.mp3" in any capitals, in the directory search's order (by name, without
// regard to case). Directories, and names with a line break (a list file
// cannot hold them), are never added; a directory that cannot be read adds
// nothing.
void ScanDirectory(const std::string& dir, TStringListModel& list);

class TForm2 : public TDialogForm {
    Q_OBJECT
public:
    explicit TForm2(QWidget* mainForm);
    ~TForm2() override;

    void Button1Click(); // Ok
    void Button2Click(); // Cancel

    Ui::Form2* ui;

protected:
    void FormKeyPress(char& key) override;
};

extern TForm2* Form2;

} // namespace quellora
