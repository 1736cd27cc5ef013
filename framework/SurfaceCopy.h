#pragma once
// Pictures copied straight into a window's off-screen surface while a widget
// paints, and repaints of a part of a widget sent to the screen at once.
// A painter made for the widget costs several times the copy of a small
// picture, and a painter over a widget with a shaped window clips span by
// span, handing large copies to helper threads that then linger.

#include <QImage>
#include <QRegion>

class QWidget;

namespace quellora {

class TServerPicture;

// During `widget`'s paint into `target` (what the widget's paint is
// redirected to: QWidget::redirected()): copies `region` (in the widget's
// coordinates) of `picture`, an RGB32 picture of the widget with its
// top-left at the widget's, into the window's surface. False, and nothing
// done, where the paint goes elsewhere (a grab) or the surface or the
// picture would need a painter.
bool CopyToSurface(QWidget* widget, const QPaintDevice* target, const QRegion& region, const QImage& picture);

// Repaints `area` of `widget` now and sends only that part of the window to
// the screen: the widget's paint handler runs for what nothing above it
// hides. False, and nothing done, where the window is not on the screen or
// its surface needs a painter: the toolkit's own repaint is the way then.
bool RepaintOnSurface(QWidget* widget, const QRegion& area);

// As RepaintOnSurface, for a widget whose whole picture `picture` (RGB32,
// its top-left at the widget's) already holds the new pixels: they are
// copied into the window's surface without a paint of the widget. With
// `onServer`, the area's new pixels as the X server keeps them (their
// top-left at that of the area's bounding rectangle), the server copies
// them to the screen and the surface's pixels stay for the toolkit to send
// when it next shows that part.
bool ShowOnSurface(QWidget* widget, const QRegion& area, const QImage& picture,
                   const TServerPicture* onServer = nullptr);

// Where two pictures of the same size and format (RGB32) differ: runs of
// neighbouring columns with a difference, each from the first to the last
// row that differs in it, so that a change at each end of a wide picture
// is two small rectangles, not one as wide as the picture. All of the
// picture when the two cannot be compared.
QRegion ChangedRegion(const QImage& from, const QImage& to);

} // namespace quellora
