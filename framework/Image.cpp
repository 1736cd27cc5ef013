#include "Image.h"

#include "SurfaceCopy.h"

#include <QPaintEvent>
#include <QPixmap>

namespace quellora {

TImage::TImage(QWidget* parent) : QLabel(parent) {}

void TImage::paintEvent(QPaintEvent* event)
{
    const QPixmap shown = pixmap();
    // Only what a copy draws exactly as the label would: an opaque picture
    // at the top-left corner, at its own size, nothing else in the label.
    const bool plain = !shown.isNull() && !shown.hasAlphaChannel() && text().isEmpty() && !hasScaledContents() &&
                       alignment() == (Qt::AlignLeft | Qt::AlignTop) && contentsRect() == rect() && indent() <= 0;
    if (plain) {
        if (shown.cacheKey() != pictureKey_) {
            picture_ = shown.toImage().convertToFormat(QImage::Format_RGB32);
            pictureKey_ = shown.cacheKey();
        }
        if (CopyToSurface(this, redirected(nullptr), event->region(), picture_))
            return;
    }
    QLabel::paintEvent(event);
}

} // namespace quellora
