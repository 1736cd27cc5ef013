#pragma once
// Whether anybody can see a widget: it is shown, and its window is on the
// screen (not hidden, minimised or otherwise unmapped). Says when that
// changes, so that work done only for the eyes (an animation, a progress
// bar) can stop while nobody sees it, and nothing has to ask on a timer.

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;
class QWindow;

namespace quellora {

class TOnScreen : public QObject {
    Q_OBJECT
public:
    // Watches `widget`, whose child the watch becomes.
    explicit TOnScreen(QWidget* widget);

    // Shown, in a window the window system has not reported off the screen.
    // A window shown for the first time counts as on the screen until the
    // window system says otherwise.
    bool OnScreen() const { return onScreen_; }

    // Called with the new state whenever OnScreen() changes.
    std::function<void(bool onScreen)> OnChange;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow();
    void update();

    QWidget* widget_;
    QPointer<QWindow> window_;
    bool shown_ = false;
    bool unexposed_ = false;
    bool onScreen_ = false;
};

} // namespace quellora
