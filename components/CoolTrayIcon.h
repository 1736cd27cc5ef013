#pragma once
// The notification-area icon of the main window: shows the program's icon
// with its hint for the whole run, hides the main window when the
// application is minimised (minimise-to-tray) and reports a left click.

#include <QIcon>
#include <QObject>
#include <functional>
#include <string>

class QSystemTrayIcon;
class QWidget;

namespace quellora {

class TTrayHostWatch;

class TCoolTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TCoolTrayIcon(QWidget* owner);
    ~TCoolTrayIcon() override;

    void SetIcon(const QIcon& icon);
    void SetHint(const std::string& hint);
    const std::string& Hint() const { return hint_; }
    void SetIconVisible(bool visible);
    bool IconVisible() const { return iconVisible_; }
    bool MinimizeToTray = false;
    bool Enabled = true;

    // True when a notification area took the icon.
    bool InTray() const;

    std::function<void()> OnClick;

    // Hides the owner when the application is minimised and a notification
    // area holds the icon; restoring the application shows it again.
    void ApplicationMinimized();

    // A click on the icon, as the notification area reports it.
    void Click();

private:
    // The notification area came or went.
    void trayHostChanged(bool present);

    QWidget* owner_;
    QSystemTrayIcon* tray_;
    TTrayHostWatch* trayHost_;
    std::string hint_;
    bool iconVisible_ = false;
};

} // namespace quellora
