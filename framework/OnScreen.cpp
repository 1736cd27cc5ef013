#include "OnScreen.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace quellora {

TOnScreen::TOnScreen(QWidget* widget) : QObject(widget), widget_(widget)
{
    shown_ = widget->isVisible();
    widget->installEventFilter(this);
    watchWindow();
    update();
}

void TOnScreen::watchWindow()
{
    // The window is made when it is first shown, and another one holds the
    // widget after a change of parent.
    QWindow* window = widget_->window()->windowHandle();
    if (window == window_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_ = window;
    unexposed_ = false;
    if (window_)
        window_->installEventFilter(this);
}

bool TOnScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == widget_) {
        switch (event->type()) {
        case QEvent::Show:
            shown_ = true;
            watchWindow();
            update();
            break;
        case QEvent::Hide:
            shown_ = false;
            update();
            break;
        case QEvent::ParentChange:
            watchWindow();
            update();
            break;
        default:
            break;
        }
    } else if (watched == window_ && event->type() == QEvent::Expose) {
        // The window system has mapped the window or taken it off the screen.
        unexposed_ = !window_->isExposed();
        update();
    }
    return QObject::eventFilter(watched, event);
}

void TOnScreen::update()
{
    const bool onScreen = shown_ && !unexposed_;
    if (onScreen == onScreen_)
        return;
    onScreen_ = onScreen;
    if (OnChange)
        OnChange(onScreen);
}

} // namespace quellora
