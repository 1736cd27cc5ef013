#pragma once
// The base of image controls that a timer thread animates: a windowless
// control with a re-entrant lock for its state, a paint that composes the
// whole picture off screen (what lies under the control included) before it
// reaches the screen, a repaint that may be asked for from any thread, and
// a step that repaints only the part of the picture that changed.

#include "Graphic.h"
#include "Graphics.h"

#include <QWidget>

#include <cstdint>
#include <mutex>
#include <string>

namespace quellora {

class TOnScreen;
class TServerPicture;

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

    // The control's whole picture as it is on screen: the last one painted
    // or stepped to (null before the first paint).
    const QImage& ShownPicture() const { return shown_; }

    // True while the control paints its picture.
    bool Drawing() const { return drawing_; }
    // Shown in a window that is on the screen: somebody may see it.
    bool OnScreen() const;
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
    // The control came on the screen or left it (its window was hidden,
    // minimised or unmapped).
    virtual void OnScreenChanged(bool onScreen) {}
    // Paints what lies under the control (its parent and the controls below
    // it) into `target`, which covers the control's client area. What lies
    // beneath is rendered at the first call after a paint that was not a
    // step (any such paint may come from a change beneath) and kept.
    void PaintParentBackground(TBitmap& target);
    // Counts the changes of what lies beneath, as the renders found them:
    // pictures made with an older count show an old background.
    std::uint64_t BackgroundGeneration() const { return backgroundGeneration_; }

    // The whole picture as a paint makes it, made off screen (PaintFrame's
    // errors go to the caller).
    QImage RenderPicture();
    // Puts the next picture on screen by repainting only `area` of the
    // control, whose new pixels `pixels` holds (an RGB32 image of the area's
    // size): the rest of the control already shows the same pixels. Nothing
    // beneath the control is painted for it. `onServer`, when given, holds
    // the same pixels on the X server, which then copies them to the screen.
    void PaintStep(const QRect& area, const QImage& pixels, const TServerPicture* onServer = nullptr);
    // A paint other than a step has made the whole picture anew (`whole`),
    // or failed part-way; ShownPicture() holds what it made.
    virtual void PicturePainted(bool whole) {}

    // The graphic shown, for its palette-modified flag.
    TGraphic* Graphic = nullptr;
    bool Destroying = false;

    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Fills `target` with the control's colour and paints the picture on it.
    void paintInto(TBitmap& target);
    void paletteStep();
    // A paint that fails is reported once: a report over the control would
    // expose it, and it would fail again.
    void reportPaintFailure(const std::string& message);

    TOnScreen* onScreen_;
    TBitmap buffer_;
    QImage shown_;
    // What lies beneath, and whether a paint since it was rendered may have changed it.
    QImage background_;
    bool backgroundStale_ = true;
    std::uint64_t backgroundGeneration_ = 0;
    // The step being painted, and its area.
    bool stepping_ = false;
    QRect stepArea_;
    bool drawing_ = false;
    bool buffered_ = false;
    bool paintFailureReported_ = false;
};

} // namespace quellora
