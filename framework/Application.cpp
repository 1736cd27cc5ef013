#include "Application.h"
#include "QtText.h"
#include "WindowState.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QThread>
#include <QWidget>

namespace quellora {

TApplication& TApplication::Instance()
{
    static TApplication app;
    return app;
}

void TApplication::Initialize()
{
    // The windows are laid out for these faces; take the metric-compatible
    // free faces where they are missing.
    QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    QFont::insertSubstitution("Arial", "Liberation Sans");
    terminated_ = false;
    minimized_ = false;
    LastFolder.clear();
}

void TApplication::SetTitle(const std::string& title)
{
    title_ = title;
    // The name the desktop shows for the program. Not the display name: Qt
    // would append that to every caption, and captions are the windows' own.
    QApplication::setApplicationName(ToQString(title));
}

void TApplication::RegisterForm(QWidget* form)
{
    if (!mainForm_) {
        mainForm_ = form;
        form->installEventFilter(this);
    }
    ++formCount_;
}

void TApplication::Terminate()
{
    terminated_ = true;
    QMetaObject::invokeMethod(this, &TApplication::takeQuitRequest, Qt::QueuedConnection);
}

void TApplication::takeQuitRequest()
{
    // A modal box's loop must not end the program, nor swallow the request:
    // the main loop takes it when it next wakes, after the box is gone.
    if (terminated_ && mainLoopLevel_ != 0 && QThread::currentThread()->loopLevel() == mainLoopLevel_)
        QCoreApplication::exit(0);
}

void TApplication::Minimize()
{
    if (minimized_)
        return;
    minimized_ = true;
    keepFocus();
    // Whoever takes the main window off the screen (the tray icon) does it
    // first; a window that is still shown goes to the taskbar.
    emit OnMinimize();
    if (mainForm_ && mainForm_->isVisible() && !mainForm_->isMinimized())
        mainForm_->showMinimized();
}

void TApplication::Restore()
{
    if (!minimized_)
        return;
    minimized_ = false;
    if (mainForm_) {
        ClearIconicStartState(mainForm_->windowHandle());
        mainForm_->showNormal();
        mainForm_->raise();
        mainForm_->activateWindow();
        giveFocusBack();
    }
    emit OnRestore();
}

void TApplication::keepFocus()
{
    focusBeforeMinimize_ = mainForm_ ? mainForm_->focusWidget() : nullptr;
}

void TApplication::giveFocusBack()
{
    // A window that the window manager activates while it is being hidden
    // (the About box's link hides the box, then the window) hands its focus
    // on to the next control, as if the focused one had gone away.
    QWidget* focus = focusBeforeMinimize_;
    if (focus && mainForm_ && focus->window() == mainForm_ && focus->isEnabled())
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

void TApplication::noteWindowState()
{
    // A hidden window (in the tray) is minimised whatever the window system
    // says of it; only the visible window tells.
    if (!mainForm_ || !mainForm_->isVisible())
        return;
    const bool iconic = mainForm_->isMinimized();
    if (iconic == minimized_)
        return;
    minimized_ = iconic;
    if (iconic) {
        keepFocus();
        emit OnMinimize();
    } else {
        giveFocusBack();
        emit OnRestore();
    }
}

bool TApplication::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mainForm_ && (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Show))
        noteWindowState();
    return QObject::eventFilter(watched, event);
}

int TApplication::Run()
{
    if (mainForm_)
        mainForm_->show();
    // Every wake of the main loop looks for a quit request that a modal
    // box's loop left; a request made before the loop runs is taken at its
    // first turn.
    mainLoopLevel_ = QThread::currentThread()->loopLevel() + 1;
    const QMetaObject::Connection awake = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                                                  this, &TApplication::takeQuitRequest);
    if (terminated_)
        QMetaObject::invokeMethod(this, &TApplication::takeQuitRequest, Qt::QueuedConnection);
    const int result = QApplication::exec();
    disconnect(awake);
    mainLoopLevel_ = 0;
    return result;
}

void TApplication::Reset()
{
    if (mainForm_)
        mainForm_->removeEventFilter(this);
    mainForm_ = nullptr;
    formCount_ = 0;
    terminated_ = false;
    minimized_ = false;
    focusBeforeMinimize_ = nullptr;
    LastFolder.clear();
}

} // namespace quellora
