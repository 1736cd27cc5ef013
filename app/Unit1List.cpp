// The playlist menu of the main window: add a file, load, save and clear
// lists. Every change but "Save list" is saved to Default.qfl at once.

#include "Unit1.h"

#include "ListBox.h"
#include "Paths.h"

namespace quellora {

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

} // namespace quellora
