#include "SurfaceDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace quellora {

namespace {
bool& systemMoveAllowed()
{
    static bool allowed = true;
    return allowed;
}
} // namespace

TSurfaceDrag::TSurfaceDrag(QWidget* window) : QObject(window), window_(window)
{
    window_->installEventFilter(this);
}

void TSurfaceDrag::AddSurface(QWidget* control)
{
    // Mouse events then go to the window below, also for the control's children.
    control->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TSurfaceDrag::SetSystemMoveAllowed(bool allowed)
{
    systemMoveAllowed() = allowed;
}

bool TSurfaceDrag::startSystemMove()
{
    QWindow* handle = window_->windowHandle();
    return systemMoveAllowed() && handle && handle->startSystemMove();
}

bool TSurfaceDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        // The window manager is asked to move the window. While it does, it
        // holds the pointer and no motion reaches us; motion that does reach
        // us (no window manager, or one that gave the move up, as it does
        // when the toolkit cancels a move it thinks has not started) moves
        // the window by hand. Both keep the pressed point under the mouse.
        startSystemMove();
        grab_ = mouse->globalPosition().toPoint() - window_->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!grab_ || !(mouse->buttons() & Qt::LeftButton))
            return false;
        window_->move(mouse->globalPosition().toPoint() - *grab_);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && grab_) {
            grab_.reset();
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace quellora

