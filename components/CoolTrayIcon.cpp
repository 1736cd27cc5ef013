#include "CoolTrayIcon.h"
#include "QtText.h"

#include "Application.h"
#include "Handler.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace quellora {

TCoolTrayIcon::TCoolTrayIcon(QWidget* owner)
    : QObject(owner), owner_(owner), tray_(new QSystemTrayIcon(this)), trayWatch_(new QTimer(this))
{
    trayWatch_->setInterval(500);
    connect(trayWatch_, &QTimer::timeout, this, [this] { watchTray(); });
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
    if (MinimizeToTray && InTray() && owner_) {
        owner_->hide();
        trayWatch_->start();
    }
}

void TCoolTrayIcon::watchTray()
{
    if (!owner_ || owner_->isVisible()) {
        trayWatch_->stop();
    } else if (!InTray()) {
        // The notification area went away with the only way back: the
        // window waits in the taskbar instead.
        trayWatch_->stop();
        owner_->showMinimized();
    }
}

void TCoolTrayIcon::Click()
{
    if (Enabled && OnClick)
        RunHandler(OnClick);
}

} // namespace quellora
