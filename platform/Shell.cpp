#include "Shell.h"
#include "QtText.h"

#include <QDesktopServices>
#include <QUrl>

namespace quellora {

namespace {
void (*shellSink)(const std::string&) = nullptr;
}

void ShellOpen(const std::string& link)
{
    if (shellSink) {
        shellSink(link);
        return;
    }
    QDesktopServices::openUrl(QUrl(ToQString(link)));
}

void SetShellSink(void (*sink)(const std::string&))
{
    shellSink = sink;
}

} // namespace quellora
