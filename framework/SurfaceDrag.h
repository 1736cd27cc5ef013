#pragma once
// Lets a borderless window be dragged by its body, as by a caption bar: a
// left press on the window's own surface moves the window. Controls drawn on
// the surface (pictures, labels, gauges) let the mouse through to it; every
// other control keeps its clicks.

#include <QObject>
#include <QPoint>
#include <optional>

class QWidget;

namespace quellora {

class TSurfaceDrag : public QObject {
    Q_OBJECT
public:
    explicit TSurfaceDrag(QWidget* window);

    // The control becomes part of the surface: its presses drag the window and never reach it.
    void AddSurface(QWidget* control);

    // Tests: pretend the window system refuses to move the window itself.
    static void SetSystemMoveAllowed(bool allowed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool startSystemMove();

    QWidget* window_;
    std::optional<QPoint> grab_; // the press's offset from the window's corner while the button is down
};

} // namespace quellora
