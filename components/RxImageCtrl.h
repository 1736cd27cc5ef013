#pragma once
// The base of image controls that a timer thread animates: a windowless
// control with a re-entrant lock for its state, a paint that composes the
// whole picture off screen (what lies under the control included) before it
// reaches the screen, and a repaint that may be asked for from any thread.

#include "Graphic.h"
#include "Graphics.h"

#include <QWidget>

#include <mutex>
#include <string>

namespace quellora {

class TRxImageControl : public QWidget {
    Q_OBJECT
public:
    explicit TRxImageControl(QWidget* parent = nullptr);
    ~TRxImageControl() override;

    // Guards the control's state against the timer thread: taken by the
    // timer's tick and by every setter that touches the picture; painting
    // does not take it.
    std::recursive_mutex DrawLock;

    // The control's canvas: its off-screen picture, locked by a frame step
    // and by every paint.
    TCanvas& Canvas() { return buffer_.Canvas(); }

    // Paints the control now: on the user-interface thread at once; from
    // any other thread the repaint is queued for that thread, since only it
    // may touch windows.
    void PaintNow();

    // True while the control paints its picture.
    bool Drawing() const { return drawing_; }
    // True while the control is being painted as another control's background.
    bool PaintingCopy() const;

protected:
    // Paints the picture onto the canvas, whose client area already holds
    // the control's colour.
    virtual void PaintFrame(TCanvas& canvas) = 0;
    // Applies a change of the picture: auto-size, then a repaint (none while
    // the control paints, or is being destroyed).
    void RefreshAfterChange();
    virtual void AdjustAutoSize() {}
    // Paints what lies under the control (its parent and the controls below
    // it) into `target`, which covers the control's client area.
    void PaintParentBackground(TBitmap& target);

    // The graphic shown, for its palette-modified flag.
    TGraphic* Graphic = nullptr;
    bool Destroying = false;

    void paintEvent(QPaintEvent* event) override;

private:
    void paintImage();
    void paletteStep();
    // A paint that fails is reported once: a report over the control would
    // expose it, and it would fail again.
    void reportPaintFailure(const std::string& message);

    TBitmap buffer_;
    bool drawing_ = false;
    bool buffered_ = false;
    bool paintFailureReported_ = false;
};

} // namespace quellora
