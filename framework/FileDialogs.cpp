#include "FileDialogs.h"

#include "Application.h"
#include "QtText.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace quellora {

namespace {
TFileDialog::Script& script()
{
    static TFileDialog::Script s;
    return s;
}

// "Mp3 muzic files|*.mp3" becomes "Mp3 muzic files (*.mp3)".
QString qtFilter(const std::string& filter)
{
    const auto bar = filter.find('|');
    if (bar == std::string::npos)
        return ToQString(filter);
    return ToQString(filter.substr(0, bar)) + " (" + ToQString(filter.substr(bar + 1)) + ")";
}

bool hasExtension(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}
} // namespace

std::string MapInitialDir(const std::string& dir)
{
    if (!dir.empty() && QFileInfo(ToQString(dir)).isDir())
        return dir;
    if (!Application().LastFolder.empty())
        return Application().LastFolder;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return FromQString(!music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath());
}

void TFileDialog::SetScript(Script s)
{
    script() = std::move(s);
}

bool TFileDialog::Execute()
{
    TFileDialogRequest request{save_, Title, Filter, DefaultExt, MapInitialDir(InitialDir), FileName};
    std::optional<std::string> chosen;
    if (script()) {
        chosen = script()(request);
    } else {
        QFileDialog dialog(QApplication::activeWindow(), ToQString(Title));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setOption(QFileDialog::ReadOnly, false);
        dialog.setAcceptMode(save_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save_ ? QFileDialog::AnyFile : QFileDialog::AnyFile);
        dialog.setNameFilter(qtFilter(Filter));
        if (!DefaultExt.empty())
            dialog.setDefaultSuffix(ToQString(DefaultExt));
        if (QFileInfo(ToQString(request.initialDir)).isDir())
            dialog.setDirectory(ToQString(request.initialDir));
        if (!FileName.empty())
            dialog.selectFile(ToQString(FileName));
        dialog.setSizeGripEnabled(true);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = FromQString(dialog.selectedFiles().first());
    }
    if (!chosen)
        return false;
    std::string name = *chosen;
    if (save_ && !DefaultExt.empty() && !name.empty() && !hasExtension(name))
        name += "." + DefaultExt;
    FileName = name;
    if (const auto slash = name.find_last_of('/'); slash != std::string::npos)
        Application().LastFolder = name.substr(0, slash == 0 ? 1 : slash);
    return true;
}

} // namespace quellora
