#include "ServerPicture.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace quellora {

namespace {

xcb_connection_t* Connection()
{
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Whether the server keeps pixels of `depth` as the picture holds them: 32
// bits each, in this machine's byte order.
bool SameLayout(xcb_connection_t* conn, std::uint8_t depth)
{
    const xcb_setup_t* setup = xcb_get_setup(conn);
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if ((setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST) != littleEndian)
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == 32;
    }
    return false;
}

} // namespace

std::unique_ptr<TServerPicture> TServerPicture::Make(QWindow* window, const QImage& pixels)
{
    xcb_connection_t* conn = Connection();
    if (!conn || !window || !window->handle() || pixels.isNull() || pixels.format() != QImage::Format_RGB32)
        return nullptr;
    const auto id = xcb_window_t(window->winId());
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(conn, xcb_get_geometry(conn, id), nullptr);
    if (!geometry)
        return nullptr;
    const std::uint8_t depth = geometry->depth;
    const xcb_window_t root = geometry->root;
    free(geometry);
    // 24 bits of colour in 32 (alpha too, for a window of depth 32): the
    // picture's bytes as they are.
    if ((depth != 24 && depth != 32) || !SameLayout(conn, depth))
        return nullptr;

    std::unique_ptr<TServerPicture> picture(new TServerPicture);
    picture->connection_ = conn;
    picture->window_ = id;
    picture->size_ = pixels.size();
    picture->bytes_ = std::size_t(pixels.sizeInBytes());
    picture->pixmap_ = xcb_generate_id(conn);
    xcb_create_pixmap(conn, depth, picture->pixmap_, root, std::uint16_t(pixels.width()),
                      std::uint16_t(pixels.height()));
    // No exposure events back for the copies: nothing would wait for them.
    picture->gc_ = xcb_generate_id(conn);
    const std::uint32_t noExposures = 0;
    xcb_create_gc(conn, picture->gc_, picture->pixmap_, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    // As many rows in a request as the server takes.
    const std::size_t line = std::size_t(pixels.width()) * 4;
    const std::size_t most = std::size_t(xcb_get_maximum_request_length(conn)) * 4 - 64;
    const int rows = int(std::max<std::size_t>(1, most / line));
    for (int y = 0; y < pixels.height(); y += rows) {
        const int count = std::min(rows, pixels.height() - y);
        xcb_put_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, picture->pixmap_, picture->gc_, std::uint16_t(pixels.width()),
                      std::uint16_t(count), 0, std::int16_t(y), 0, depth, std::uint32_t(line * std::size_t(count)),
                      pixels.constScanLine(y));
    }
    return picture;
}

TServerPicture::~TServerPicture()
{
    // Not after the application's connection has gone.
    auto* conn = static_cast<xcb_connection_t*>(connection_);
    if (conn != Connection())
        return;
    xcb_free_gc(conn, gc_);
    xcb_free_pixmap(conn, pixmap_);
}

bool TServerPicture::CopyTo(QWindow* window, const QRegion& parts, const QPoint& at) const
{
    auto* conn = static_cast<xcb_connection_t*>(connection_);
    if (!window || !window->handle() || xcb_window_t(window->winId()) != window_ || conn != Connection())
        return false;
    for (const QRect& part : parts & QRect(QPoint(), size_)) {
        xcb_copy_area(conn, pixmap_, window_, gc_, std::int16_t(part.x()), std::int16_t(part.y()),
                      std::int16_t(part.x() + at.x()), std::int16_t(part.y() + at.y()), std::uint16_t(part.width()),
                      std::uint16_t(part.height()));
    }
    xcb_flush(conn);
    return true;
}

} // namespace quellora
