#include "SurfaceCopy.h"

#include "ServerPicture.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace quellora {

namespace {

QImage* SurfaceImage(const QWidget* widget)
{
    QBackingStore* store = widget->backingStore();
    QPaintDevice* device = store ? store->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image)
        return nullptr;
    auto* surface = static_cast<QImage*>(device);
    const QImage::Format format = surface->format();
    if (surface->devicePixelRatio() != 1.0 || (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
                                               format != QImage::Format_ARGB32_Premultiplied))
        return nullptr;
    return surface;
}

// Copies `region` of `picture` into `surface`, the picture's top-left at `offset`.
void CopyPixels(QImage& surface, const QPoint& offset, const QRegion& region, const QImage& picture)
{
    for (const QRect& part : region) {
        const QRect source = part & picture.rect() & surface.rect().translated(-offset);
        if (source.isEmpty())
            continue;
        const size_t bytes = size_t(source.width()) * sizeof(QRgb);
        for (int y = source.top(); y <= source.bottom(); ++y)
            std::memcpy(surface.scanLine(y + offset.y()) + (source.left() + offset.x()) * sizeof(QRgb),
                        picture.constScanLine(y) + source.left() * sizeof(QRgb), bytes);
    }
}

// Puts `area` of `widget` on the screen now: `paint` draws the part of it
// that nothing above the widget hides into the window's surface, and that
// part alone goes to the screen, by the toolkit or, with `onServer`, by the
// X server's copy. The toolkit's repaint would find the same area by the
// longer way.
bool UpdateSurface(QWidget* widget, const QRegion& area, const TServerPicture* onServer,
                   const std::function<void(const QRegion&)>& paint)
{
    QWidget* form = widget->window();
    QWindow* handle = form->windowHandle();
    QBackingStore* store = widget->backingStore();
    if (!handle || !handle->isExposed() || !store || !widget->updatesEnabled() || !SurfaceImage(widget))
        return false;
    const QRegion region = widget->visibleRegion() & area;
    if (region.isEmpty())
        return true;
    const QPoint offset = widget->mapTo(form, QPoint());
    const QRegion onForm = region.translated(offset);
    store->beginPaint(onForm);
    paint(region);
    store->endPaint();
    // The surface holds the area as painted, and is marked to be sent when
    // the toolkit next shows that part (an exposure): until then the
    // server's copy stands for it.
    const QPoint origin = area.boundingRect().topLeft();
    if (!onServer || !onServer->CopyTo(handle, region.translated(-origin), offset + origin))
        store->flush(onForm, handle);
    return true;
}

// The widget whose paint RepaintOnSurface sends: it draws into the surface
// without the toolkit's redirection.
const QWidget* paintingOnSurface = nullptr;

} // namespace

bool CopyToSurface(QWidget* widget, const QPaintDevice* target, const QRegion& region, const QImage& picture)
{
    QImage* surface = SurfaceImage(widget);
    if (!surface || picture.format() != QImage::Format_RGB32)
        return false;
    if (target != surface && !(target == nullptr && paintingOnSurface == widget))
        return false;
    CopyPixels(*surface, widget->mapTo(widget->window(), QPoint()), region, picture);
    return true;
}

bool RepaintOnSurface(QWidget* widget, const QRegion& area)
{
    return UpdateSurface(widget, area, nullptr, [widget](const QRegion& region) {
        QPaintEvent event(region);
        const QWidget* outer = paintingOnSurface;
        paintingOnSurface = widget;
        QCoreApplication::sendEvent(widget, &event);
        paintingOnSurface = outer;
    });
}

bool ShowOnSurface(QWidget* widget, const QRegion& area, const QImage& picture, const TServerPicture* onServer)
{
    if (picture.format() != QImage::Format_RGB32)
        return false;
    return UpdateSurface(widget, area, onServer, [widget, &picture](const QRegion& region) {
        CopyPixels(*SurfaceImage(widget), widget->mapTo(widget->window(), QPoint()), region, picture);
    });
}

QRegion ChangedRegion(const QImage& from, const QImage& to)
{
    const QRect all(QPoint(0, 0), to.size());
    if (from.size() != to.size() || from.format() != QImage::Format_RGB32 || to.format() != QImage::Format_RGB32)
        return all;
    const int width = to.width();
    // The first and last row that differ in each column (top > bottom: none).
    std::vector<int> top(size_t(width), to.height()), bottom(size_t(width), -1);
    for (int y = 0; y < to.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(from.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(to.constScanLine(y));
        if (std::memcmp(a, b, size_t(width) * sizeof(QRgb)) == 0)
            continue;
        for (int x = 0; x < width; ++x) {
            if (a[x] == b[x])
                continue;
            top[size_t(x)] = std::min(top[size_t(x)], y);
            bottom[size_t(x)] = y;
        }
    }
    // Columns a few pixels apart go into one rectangle: the requests for
    // two cost more than the pixels between them.
    constexpr int Gap = 8;
    QRegion changed;
    for (int x = 0; x < width;) {
        if (bottom[size_t(x)] < 0) {
            ++x;
            continue;
        }
        int first = top[size_t(x)], last = bottom[size_t(x)], end = x, gap = 0;
        for (int next = x + 1; next < width && gap <= Gap; ++next) {
            if (bottom[size_t(next)] < 0) {
                ++gap;
                continue;
            }
            first = std::min(first, top[size_t(next)]);
            last = std::max(last, bottom[size_t(next)]);
            end = next;
            gap = 0;
        }
        changed += QRect(QPoint(x, first), QPoint(end, last));
        x = end + 1;
    }
    return changed;
}

} // namespace quellora
