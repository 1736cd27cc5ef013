#include "Graphics.h"
#include "QtText.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace quellora {

namespace {

// An arc of the ellipse in (x1, y1, x2, y2), counter-clockwise from the
// radial through (x3, y3) to the one through (x4, y4), in QPainter's terms
// (sixteenths of a degree); equal radials go all the way round.
struct ArcGeometry {
    ArcGeometry(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
        : box(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) - 1, std::abs(y2 - y1) - 1)
    {
        const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
        const double from = std::atan2(cy - y3, x3 - cx) * 180.0 / M_PI;
        double sweep = std::atan2(cy - y4, x4 - cx) * 180.0 / M_PI - from;
        while (sweep <= 0)
            sweep += 360.0;
        start = int(std::lround(from * 16));
        span = int(std::lround(sweep * 16));
    }
    QRect box;
    int start = 0;
    int span = 0;
};

} // namespace

TCanvas::TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}

TRect TCanvas::ClipRect() const
{
    return {0, 0, bitmap_.Width(), bitmap_.Height()};
}

void TCanvas::changing()
{
    if (OnChanging)
        OnChanging();
}

void TCanvas::changed()
{
    bitmap_.Changed();
    if (OnChange)
        OnChange();
}

void TCanvas::paint(const std::function<void(QPainter&)>& draw)
{
    if (bitmap_.Empty())
        return;
    changing();
    QImage& image = bitmap_.image_;
    if (image.format() == QImage::Format_RGB32) {
        QPainter painter(&image);
        draw(painter);
    } else {
        QImage work = image.convertToFormat(QImage::Format_RGB32);
        {
            QPainter painter(&work);
            draw(painter);
        }
        image = work.convertToFormat(image.format(), image.colorTable(), Qt::ThresholdDither | Qt::AvoidDither);
    }
    changed();
}

QPen TCanvas::qpen() const
{
    if (Pen.Style == psClear)
        return QPen(Qt::NoPen);
    QPen pen(ColorToQColor(Pen.Color));
    pen.setWidth(std::max(1, Pen.Width));
    switch (Pen.Style) {
    case psDash: pen.setStyle(Qt::DashLine); break;
    case psDot: pen.setStyle(Qt::DotLine); break;
    case psDashDot: pen.setStyle(Qt::DashDotLine); break;
    case psDashDotDot: pen.setStyle(Qt::DashDotDotLine); break;
    default: break;
    }
    return pen;
}

void TCanvas::FillRect(const TRect& rect)
{
    if (Brush.Style == bsClear || rect.IsEmpty())
        return;
    QImage& image = bitmap_.image_;
    if (bitmap_.Empty() || image.format() != QImage::Format_RGB32) {
        paint([&](QPainter& p) { p.fillRect(rect.ToQRect(), ColorToQColor(Brush.Color)); });
        return;
    }
    // A solid colour is stored as it is: a painter would cost more than the
    // pixels of a small picture.
    changing();
    const QRect area = rect.ToQRect() & image.rect();
    const QRgb value = ColorToQColor(Brush.Color).rgb();
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)) + area.left(), area.width(), value);
    changed();
}

void TCanvas::FrameRect(const TRect& rect)
{
    if (rect.IsEmpty())
        return;
    paint([&](QPainter& p) {
        const QColor color = ColorToQColor(Brush.Color);
        p.fillRect(QRect(rect.Left, rect.Top, rect.Width(), 1), color);
        p.fillRect(QRect(rect.Left, rect.Bottom - 1, rect.Width(), 1), color);
        p.fillRect(QRect(rect.Left, rect.Top, 1, rect.Height()), color);
        p.fillRect(QRect(rect.Right - 1, rect.Top, 1, rect.Height()), color);
    });
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    TRect r = Rect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
    // Without a pen the filled area is a pixel narrower and lower.
    if (Pen.Style == psClear)
        r = Rect(r.Left, r.Top, r.Right - 1, r.Bottom - 1);
    if (r.IsEmpty())
        return;
    const int w = Pen.Style == psClear ? 0 : std::max(1, Pen.Width);
    paint([&](QPainter& p) {
        const TRect inside = r.Inflated(-w, -w);
        if (w > 0) {
            // The pen runs inside the rectangle.
            const QColor pen = ColorToQColor(Pen.Color);
            p.fillRect(QRect(r.Left, r.Top, r.Width(), std::min(w, r.Height())), pen);
            p.fillRect(QRect(r.Left, std::max(r.Top, r.Bottom - w), r.Width(), std::min(w, r.Height())), pen);
            p.fillRect(QRect(r.Left, r.Top, std::min(w, r.Width()), r.Height()), pen);
            p.fillRect(QRect(std::max(r.Left, r.Right - w), r.Top, std::min(w, r.Width()), r.Height()), pen);
        }
        if (Brush.Style != bsClear && !inside.IsEmpty())
            p.fillRect(inside.ToQRect(), ColorToQColor(Brush.Color));
    });
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    paint([&](QPainter& p) {
        p.setPen(qpen());
        p.setBrush(Brush.Style == bsClear ? QBrush(Qt::NoBrush) : QBrush(ColorToQColor(Brush.Color)));
        p.drawEllipse(QRect(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) - 1, std::abs(y2 - y1) - 1));
    });
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    const ArcGeometry arc(x1, y1, x2, y2, x3, y3, x4, y4);
    paint([&](QPainter& p) {
        p.setPen(qpen());
        p.setBrush(Brush.Style == bsClear ? QBrush(Qt::NoBrush) : QBrush(ColorToQColor(Brush.Color)));
        if (arc.span >= 360 * 16)
            p.drawEllipse(arc.box);
        else
            p.drawPie(arc.box, arc.start, arc.span);
    });
}

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    const ArcGeometry arc(x1, y1, x2, y2, x3, y3, x4, y4);
    paint([&](QPainter& p) {
        p.setPen(qpen());
        p.drawArc(arc.box, arc.start, arc.span);
    });
}

void TCanvas::Polygon(const std::vector<TPoint>& points)
{
    if (points.size() < 2)
        return;
    QPolygon polygon;
    for (const TPoint& pt : points)
        polygon << QPoint(pt.X, pt.Y);
    paint([&](QPainter& p) {
        p.setPen(qpen());
        p.setBrush(Brush.Style == bsClear ? QBrush(Qt::NoBrush) : QBrush(ColorToQColor(Brush.Color)));
        p.drawPolygon(polygon, Qt::OddEvenFill);
    });
}

void TCanvas::MoveTo(int x, int y)
{
    PenPos = {x, y};
}

void TCanvas::LineTo(int x, int y)
{
    const TPoint from = PenPos;
    PenPos = {x, y};
    if (Pen.Style == psClear)
        return;
    if (Pen.Width <= 1 && Pen.Style == psSolid) {
        // One-pixel lines step exactly and leave out their end point.
        if (bitmap_.Empty())
            return;
        changing();
        const QRgb color = ColorToQRgb(Pen.Color);
        QImage& image = bitmap_.image_;
        int x0 = from.X, y0 = from.Y;
        const int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
        const int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
        int err = dx + dy;
        while (x0 != x || y0 != y) {
            if (x0 >= 0 && y0 >= 0 && x0 < image.width() && y0 < image.height()) {
                if (image.format() == QImage::Format_RGB32)
                    reinterpret_cast<QRgb*>(image.scanLine(y0))[x0] = color;
                else
                    image.setPixel(x0, y0, image.format() == QImage::Format_Mono ? (qGray(color) >= 128 ? 1 : 0)
                                                                                 : uint(0));
            }
            const int e2 = 2 * err;
            if (e2 >= dy)
                err += dy, x0 += sx;
            if (e2 <= dx)
                err += dx, y0 += sy;
        }
        changed();
        return;
    }
    paint([&](QPainter& p) {
        p.setPen(qpen());
        p.drawLine(from.X, from.Y, x, y);
    });
}

int TCanvas::TextWidth(const std::string& text) const
{
    return TextExtent(text).cx;
}

int TCanvas::TextHeight(const std::string& text) const
{
    return TextExtent(text).cy;
}

TSize TCanvas::TextExtent(const std::string& text) const
{
    // Laying text out costs tens of microseconds; the same few texts (a
    // gauge's percentages) are measured again and again.
    static std::mutex lock;
    static std::unordered_map<QString, TSize> measured;
    const QFont font = Font.ToQFont();
    const QString key = font.key() + QChar(0) + ToQString(text);
    {
        std::lock_guard hold(lock);
        if (const auto found = measured.find(key); found != measured.end())
            return found->second;
    }
    const QFontMetrics metrics(font);
    const TSize extent{metrics.horizontalAdvance(ToQString(text)), metrics.height()};
    std::lock_guard hold(lock);
    if (measured.size() >= 512)
        measured.clear();
    measured.emplace(key, extent);
    return extent;
}

void TCanvas::TextOut(int x, int y, const std::string& text)
{
    const QFont font = Font.ToQFont();
    const QFontMetrics metrics(font);
    const QString shown = ToQString(text);
    paint([&](QPainter& p) {
        if (Brush.Style != bsClear)
            p.fillRect(QRect(x, y, metrics.horizontalAdvance(shown), metrics.height()), ColorToQColor(Brush.Color));
        p.setFont(font);
        p.setPen(ColorToQColor(Font.Color));
        p.drawText(QPoint(x, y + metrics.ascent()), shown);
    });
    PenPos = {x + metrics.horizontalAdvance(shown), y};
}

void TCanvas::TextRect(const TRect& clip, int x, int y, const std::string& text)
{
    const QFont font = Font.ToQFont();
    const QFontMetrics metrics(font);
    const QString shown = ToQString(text);
    paint([&](QPainter& p) {
        if (Brush.Style != bsClear && !clip.IsEmpty())
            p.fillRect(clip.ToQRect(), ColorToQColor(Brush.Color));
        p.setClipRect(clip.ToQRect());
        p.setFont(font);
        p.setPen(ColorToQColor(Font.Color));
        p.drawText(QPoint(x, y + metrics.ascent()), shown);
    });
}

TColor TCanvas::Pixel(int x, int y) const
{
    return bitmap_.Pixel(x, y);
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    QImage& image = bitmap_.image_;
    if (image.isNull() || x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    changing();
    const QRgb rgb = ColorToQRgb(color);
    if (image.format() == QImage::Format_RGB32) {
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = rgb;
    } else {
        const QList<QRgb> table = image.colorTable();
        int best = 0;
        for (int i = 1; i < table.size(); ++i) {
            auto distance = [&](QRgb c) {
                return std::abs(qRed(c) - qRed(rgb)) + std::abs(qGreen(c) - qGreen(rgb)) + std::abs(qBlue(c) - qBlue(rgb));
            };
            if (distance(table[i]) < distance(table[best]))
                best = i;
        }
        image.setPixel(x, y, uint(best));
    }
    changed();
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect)
{
    changing();
    TBltColors colors;
    colors.SourceBack = source.Brush.Color;
    colors.Pattern = Brush.Color;
    StretchBlt(bitmap_, dest.Left, dest.Top, dest.Width(), dest.Height(), &source.bitmap_, sourceRect.Left,
               sourceRect.Top, sourceRect.Width(), sourceRect.Height(), CopyMode, colors);
    if (OnChange)
        OnChange();
}

void TCanvas::Draw(int x, int y, const TBitmap& graphic)
{
    StretchDraw(Bounds(x, y, graphic.Width(), graphic.Height()), graphic);
}

void TCanvas::StretchDraw(const TRect& dest, const TBitmap& graphic)
{
    if (graphic.Empty())
        return;
    if (graphic.Transparent && graphic.TransparentColor() != clNone) {
        drawTransparent(dest, graphic);
        return;
    }
    changing();
    TBltColors colors;
    colors.Pattern = Brush.Color;
    StretchBlt(bitmap_, dest.Left, dest.Top, dest.Width(), dest.Height(), &graphic, 0, 0, graphic.Width(),
               graphic.Height(), CopyMode, colors);
    if (OnChange)
        OnChange();
}

void TCanvas::drawTransparent(const TRect& dest, const TBitmap& graphic)
{
    changing();
    const int w = graphic.Width(), h = graphic.Height();
    TBltColors keyed;
    keyed.SourceBack = graphic.TransparentColor();
    // The mask is white where the key colour is; the picture black there.
    TBitmap mask(w, h, pf1bit);
    BitBlt(mask, 0, 0, w, h, &graphic, 0, 0, SRCCOPY, keyed);
    TBitmap picture(w, h);
    BitBlt(picture, 0, 0, w, h, &graphic, 0, 0, SRCCOPY);
    constexpr TRasterOp kDestAndNotSource = 0x00220326;
    BitBlt(picture, 0, 0, w, h, &mask, 0, 0, kDestAndNotSource);
    StretchBlt(bitmap_, dest.Left, dest.Top, dest.Width(), dest.Height(), &mask, 0, 0, w, h, SRCAND);
    StretchBlt(bitmap_, dest.Left, dest.Top, dest.Width(), dest.Height(), &picture, 0, 0, w, h, SRCPAINT);
    if (OnChange)
        OnChange();
}

void TCanvas::Lock()
{
    lock_.lock();
    ++lockCount_;
}

void TCanvas::Unlock()
{
    --lockCount_;
    lock_.unlock();
}

bool TCanvas::TryLock()
{
    if (!lock_.try_lock())
        return false;
    ++lockCount_;
    return true;
}

} // namespace quellora
