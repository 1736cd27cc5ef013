#include "Shell.h"

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
    QDesktopServices::openUrl(QUrl(QString::fromLocal8Bit(link.data(), qsizetype(link.size()))));
}

void SetShellSink(void (*sink)(const std::string&))
{
    shellSink = sink;
}

} // namespace quellora
