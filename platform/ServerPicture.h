#pragma once
// A picture kept by the X server of the application's own connection, for
// windows of one depth: its pixels cross the connection once, and each
// showing after that is a copy the server makes from it into the window (a
// request of a few bytes). Only where the application runs on X11.

#include <QImage>
#include <QPoint>
#include <QRegion>

#include <cstdint>
#include <memory>

class QWindow;

namespace quellora {

class TServerPicture {
public:
    // Hands `pixels` (RGB32) to the server for copies into `window`; null
    // where the application has no X connection, the window has none yet,
    // or the server keeps pixels in another layout than the picture's.
    static std::unique_ptr<TServerPicture> Make(QWindow* window, const QImage& pixels);
    ~TServerPicture();
    TServerPicture(const TServerPicture&) = delete;
    TServerPicture& operator=(const TServerPicture&) = delete;

    // Copies `parts` of the picture (in its own coordinates) into `window`
    // with the picture's top-left at `at`, and sends the request. False, and
    // nothing sent, for another window than the one it was made for.
    bool CopyTo(QWindow* window, const QRegion& parts, const QPoint& at) const;

    std::size_t Bytes() const { return bytes_; }

private:
    TServerPicture() = default;

    void* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::uint32_t pixmap_ = 0;
    std::uint32_t gc_ = 0;
    QSize size_;
    std::size_t bytes_ = 0;
};

} // namespace quellora
