#include "CoolTrayIcon.h"
#include "QtText.h"

#include "Application.h"
#include "Handler.h"
#include "TrayHostWatch.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace quellora {

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner)
    : QObject(owner), owner_(owner), tray_(new QSystemTrayIcon(this)), trayHost_(new TTrayHostWatch(this))
{
    trayHost_->OnChange = [this](bool present) { trayHostChanged(present); };
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Click();
    });
    connect(&Application(), &TApplication::OnMinimize, this, [this] { ApplicationMinimized(); });
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    tray_->hide();
}

void TCoolTrayIcon::SetIcon(const QIcon& icon)
{
    tray_->setIcon(icon);
}

void TCoolTrayIcon::SetHint(const std::string& hint)
{
    hint_ = hint;
    tray_->setToolTip(ToQString(hint));
}

void TCoolTrayIcon::SetIconVisible(bool visible)
{
    iconVisible_ = visible;
    tray_->setVisible(visible);
}

bool TCoolTrayIcon::InTray() const
{
    return iconVisible_ && QSystemTrayIcon::isSystemTrayAvailable();
}

void TCoolTrayIcon::ApplicationMinimized()
{
    // Without a notification area the window stays minimised in the
    // taskbar rather than vanishing beyond reach.
    if (MinimizeToTray && InTray() && owner_)
        owner_->hide();
}

void TCoolTrayIcon::trayHostChanged(bool present)
{
    // The notification area went away with the only way back to a window
    // hidden in it: the window waits in the taskbar instead.
    if (!present && owner_ && !owner_->isVisible() && Application().Minimized())
        owner_->showMinimized();
}

void TCoolTrayIcon::Click()
{
    if (Enabled && OnClick)
        RunHandler(OnClick);
}

} // namespace quellora
