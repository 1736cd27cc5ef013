#include "SurfaceCopy.h"

#include "ServerPicture.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QPaintEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstring>
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

// The widget whose paint RepaintOnSurface sends: it draws into the surface
// without the toolkit's redirection.
const QWidget* paintingOnSurface = nullptr;

} // namespace

bool SurfaceTakesCopy(const QWidget* widget)
{
    return SurfaceImage(widget) != nullptr;
}

bool CopyToSurface(QWidget* widget, const QPaintDevice* target, const QRegion& region, const QImage& picture)
{
    QImage* surface = SurfaceImage(widget);
    if (!surface || picture.format() != QImage::Format_RGB32)
        return false;
    if (target != surface && !(target == nullptr && paintingOnSurface == widget))
        return false;
    const QPoint offset = widget->mapTo(widget->window(), QPoint());
    for (const QRect& part : region) {
        const QRect source = part & picture.rect() & surface->rect().translated(-offset);
        if (source.isEmpty())
            continue;
        const size_t bytes = size_t(source.width()) * sizeof(QRgb);
        for (int y = source.top(); y <= source.bottom(); ++y)
            std::memcpy(surface->scanLine(y + offset.y()) + (source.left() + offset.x()) * sizeof(QRgb),
                        picture.constScanLine(y) + source.left() * sizeof(QRgb), bytes);
    }
    return true;
}

bool RepaintOnSurface(QWidget* widget, const QRegion& area, const TServerPicture* onServer)
{
    QWidget* form = widget->window();
    QWindow* handle = form->windowHandle();
    QBackingStore* store = widget->backingStore();
    if (!handle || !handle->isExposed() || !store || !widget->updatesEnabled() || !SurfaceTakesCopy(widget))
        return false;
    const QRegion region = widget->visibleRegion() & area;
    if (region.isEmpty())
        return true;
    // As a paint of the widget through the window's own drawing context: the
    // toolkit's repaint would find the same area by the longer way.
    const QPoint offset = widget->mapTo(form, QPoint());
    const QRegion onForm = region.translated(offset);
    store->beginPaint(onForm);
    QPaintEvent event(region);
    const QWidget* outer = paintingOnSurface;
    paintingOnSurface = widget;
    QCoreApplication::sendEvent(widget, &event);
    paintingOnSurface = outer;
    store->endPaint();
    // The surface holds the area as painted, and is marked to be sent when
    // the toolkit next shows that part (an exposure): until then the
    // server's copy stands for it.
    const QPoint origin = area.boundingRect().topLeft();
    if (!onServer || !onServer->CopyTo(handle, region.translated(-origin), offset + origin))
        store->flush(onForm, handle);
    return true;
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
