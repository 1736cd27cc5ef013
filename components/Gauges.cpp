#include "Gauges.h"

#include "Exceptions.h"
#include "Forms.h"
#include "GaugeAccessible.h"
#include "SurfaceCopy.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>

namespace quellora {

namespace {

// String-table text 65336.
constexpr const char* SOutOfRange = "Value must be between %lld and %lld";

void FillBlack(TBitmap& bitmap)
{
    TCanvas& canvas = bitmap.Canvas();
    const TRect all = Rect(0, 0, bitmap.Width(), bitmap.Height());
    canvas.CopyMode = BLACKNESS;
    canvas.CopyRect(all, canvas, all);
    canvas.CopyMode = SRCCOPY;
}

// The gauge's measure of the inner rectangle: one more than its width and height.
TSize Extent(const TRect& inner)
{
    return {inner.Right - inner.Left + 1, inner.Bottom - inner.Top + 1};
}

// Truncation toward zero of a length that the callers bound to the gauge's size.
int Truncate(long double value)
{
    return int(std::clamp(value, (long double)INT_MIN, (long double)INT_MAX));
}

} // namespace

void TBltBitmap::MakeLike(const TBitmap& source)
{
    SetWidth(source.Width());
    SetHeight(source.Height());
    Canvas().Brush.Color = clWindowFrame;
    Canvas().Brush.Style = bsSolid;
    Canvas().FillRect(Rect(0, 0, Width(), Height()));
}

TGauge::TGauge(QWidget* parent) : QWidget(parent)
{
    // A windowless control: it paints every pixel of itself and leaves the mouse to the form.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(100, 100);
    font_ = TFont::FromQFont(font(), font_.Color);
    InstallGaugeAccessibility();
}

bool TGauge::Loading() const
{
    return loading_ || TForm::FormLoading(this);
}

void TGauge::SetMinValue(int value)
{
    if (value == minValue_)
        return;
    if (value > maxValue_ && !Loading())
        throw EInvalidOperation(Format(SOutOfRange, -2147483647LL, (long long)maxValue_ - 1));
    minValue_ = value;
    if (value > progress_)
        progress_ = value;
    refreshNow();
}

void TGauge::SetMaxValue(int value)
{
    if (value == maxValue_)
        return;
    if (value < minValue_ && !Loading())
        throw EInvalidOperation(Format(SOutOfRange, (long long)minValue_ + 1, 2147483647LL));
    maxValue_ = value;
    if (value < progress_)
        progress_ = value;
    refreshNow();
}

void TGauge::SetProgress(int value)
{
    if (value < minValue_)
        value = minValue_;
    else if (value > maxValue_)
        value = maxValue_;
    if (value == progress_)
        return;
    const int before = PercentComplete();
    progress_ = value;
    if (PercentComplete() != before)
        refreshNow();
}

void TGauge::SetKind(TGaugeKind kind)
{
    setAndRepaint(kind_, kind);
}

void TGauge::SetShowText(bool show)
{
    setAndRepaint(showText_, show);
}

void TGauge::SetBorderStyle(TBorderStyle style)
{
    setAndRepaint(borderStyle_, style);
}

void TGauge::SetForeColor(TColor color)
{
    setAndRepaint(foreColor_, color);
}

void TGauge::SetBackColor(TColor color)
{
    setAndRepaint(backColor_, color);
}

TColor TGauge::Color() const
{
    if (color_ != clDefault)
        return color_;
    const QWidget* parent = parentWidget();
    return parent ? QRgbToColor(parent->palette().color(QPalette::Window).rgb()) : clBtnFace;
}

void TGauge::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TGauge::SetFont(const TFont& font)
{
    setFont(font.ToQFont());
    font_ = font;
    update();
}

void TGauge::setFontColor(int color)
{
    font_.Color = color;
    update();
}

int TGauge::PercentComplete() const
{
    const long long range = (long long)maxValue_ - minValue_;
    if (range == 0)
        return 0;
    return Truncate((long double)((long long)progress_ - minValue_) * 100.0L / (long double)range);
}

template <typename T>
void TGauge::setAndRepaint(T& field, T value)
{
    if (value == field)
        return;
    field = value;
    refreshNow();
}

void TGauge::refreshNow()
{
    ++repaintCount_;
    repaintChanges();
    announcePercent();
}

void TGauge::repaintChanges()
{
    // Only the pixels that changed go to the screen, at once: the bar's end
    // and the percentage, a few dozen pixels of the gauge's thousands.
    if (!shown_.isNull() && shown_.size() == size()) {
        QImage next = Render()->Image().convertToFormat(QImage::Format_RGB32);
        const QRegion changed = ChangedRegion(shown_, next);
        if (changed.isEmpty())
            return;
        shown_ = std::move(next);
        stepping_ = true;
        const bool shown = RepaintOnSurface(this, changed);
        stepping_ = false;
        if (shown)
            return;
        // Not on the screen: the next whole paint makes the picture anew.
        shown_ = QImage();
    }
    repaint();
}

void TGauge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        font_ = TFont::FromQFont(font(), font_.Color);
    QWidget::changeEvent(event);
}

void TGauge::paintEvent(QPaintEvent* event)
{
    ++paintCount_;
    // A whole paint may follow any change (a font, a colour, the size):
    // the picture is made anew. A repaint of the changed parts has made it.
    if (!stepping_) {
        const std::unique_ptr<TBitmap> image = Render();
        shown_ = image->Empty() ? QImage() : image->Image().convertToFormat(QImage::Format_RGB32);
    }
    if (shown_.isNull() || CopyToSurface(this, redirected(nullptr), event->region(), shown_))
        return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, shown_);
}

std::unique_ptr<TBitmap> TGauge::Render() const
{
    auto image = std::make_unique<TBitmap>();
    image->SetHeight(height());
    image->SetWidth(width());
    if (image->Empty())
        return image;
    FillBlack(*image);

    TRect inner = Rect(0, 0, width(), height());
    if (borderStyle_ == bsSingle)
        inner = inner.Inflated(-1, -1);

    TBltBitmap overlay;
    overlay.MakeLike(*image);
    FillBlack(overlay);
    TCanvas& canvas = overlay.Canvas();
    switch (kind_) {
    case gkText:
        canvas.Brush.Color = backColor_;
        canvas.FillRect(inner);
        break;
    case gkHorizontalBar:
    case gkVerticalBar:
        paintBar(canvas, inner, kind_ == gkHorizontalBar);
        break;
    case gkPie:
        paintPie(canvas, inner);
        break;
    case gkNeedle:
        paintNeedle(canvas, inner);
        break;
    }

    // The image is black, so the exclusive or leaves exactly the overlay,
    // with the border still black around it.
    const TRect all = Rect(0, 0, image->Width(), image->Height());
    image->Canvas().CopyMode = SRCINVERT;
    image->Canvas().CopyRect(all, overlay.Canvas(), all);

    if (showText_)
        paintText(*image, inner);
    return image;
}

void TGauge::paintBar(TCanvas& canvas, const TRect& inner, bool horizontal) const
{
    canvas.Brush.Color = backColor_;
    canvas.FillRect(inner);
    canvas.Pen.Color = foreColor_;
    canvas.Pen.Width = 1;
    canvas.Brush.Color = foreColor_;
    const auto [w, h] = Extent(inner);
    const long double share = PercentComplete() * 0.01L;
    // The bar's far edge is its length taken as a coordinate, not added to
    // the inner rectangle's origin.
    if (horizontal) {
        int length = Truncate(w * share);
        if (length > w)
            length = w;
        if (length < 1)
            return;
        canvas.FillRect(Rect(inner.Left, inner.Top, length, h));
    } else {
        int length = Truncate(h * share);
        if (length >= h)
            length = h - 1;
        canvas.FillRect(Rect(inner.Left, h - length, w, h));
    }
}

TSize TGauge::prepareDial(TCanvas& canvas, const TRect& inner) const
{
    canvas.Brush.Color = Color();
    canvas.FillRect(inner);
    canvas.Pen.Color = foreColor_;
    canvas.Pen.Width = 1;
    return Extent(inner);
}

void TGauge::paintPie(TCanvas& canvas, const TRect& inner) const
{
    const auto [w, h] = prepareDial(canvas, inner);
    canvas.Brush.Color = backColor_;
    canvas.Ellipse(inner.Left, inner.Top, w, h);
    const int percent = PercentComplete();
    if (percent <= 0)
        return;
    // Clockwise from twelve o'clock: counter-clockwise from the slice's end back to the top.
    const double angle = std::min(percent, 100) * 2.0 * M_PI / 100.0;
    const double cx = (inner.Left + w) / 2.0, cy = (inner.Top + h) / 2.0;
    const double rx = (w - inner.Left) / 2.0, ry = (h - inner.Top) / 2.0;
    const int endX = int(std::lround(cx + rx * std::sin(angle)));
    const int endY = int(std::lround(cy - ry * std::cos(angle)));
    canvas.Brush.Color = foreColor_;
    canvas.Pie(inner.Left, inner.Top, w, h, endX, endY, int(std::lround(cx)), inner.Top);
}

void TGauge::paintNeedle(TCanvas& canvas, const TRect& inner) const
{
    const auto [w, h] = prepareDial(canvas, inner);
    // The upper half of an ellipse whose centre sits on the bottom edge, and its base line.
    const int base = h - 1;
    canvas.Arc(inner.Left, inner.Top, w, base * 2 - inner.Top, w, base, inner.Left, base);
    canvas.MoveTo(inner.Left, base);
    canvas.LineTo(w, base);
    const int percent = PercentComplete();
    if (percent <= 0)
        return;
    // From the left end of the base (0 %) over the top to its right end (100 %).
    const double angle = std::min(percent, 100) * M_PI / 100.0;
    const int cx = (inner.Left + w) / 2;
    const double rx = (w - inner.Left) / 2.0, ry = base - inner.Top;
    canvas.MoveTo(cx, base);
    canvas.LineTo(int(std::lround(cx - rx * std::cos(angle))), int(std::lround(base - ry * std::sin(angle))));
}

void TGauge::paintText(TBitmap& image, const TRect& inner) const
{
    TBltBitmap text;
    text.MakeLike(image);
    FillBlack(text);
    const std::string shown = Format("%d%%", PercentComplete());
    TCanvas& canvas = text.Canvas();
    canvas.Brush.Style = bsClear;
    canvas.Font = font_;
    // White glyphs combined by exclusive or show the inverse of what lies beneath.
    canvas.Font.Color = clWhite;
    const TSize extent = Extent(inner);
    // Measured once: laying the text out is most of the cost of a repaint.
    const TSize textSize = canvas.TextExtent(shown);
    const int x = (extent.cx - textSize.cx) / 2;
    const int y = (extent.cy - textSize.cy) / 2;
    canvas.TextRect(inner, x, y, shown);

    const TRect all = Rect(0, 0, image.Width(), image.Height());
    image.Canvas().CopyMode = SRCINVERT;
    image.Canvas().CopyRect(all, canvas, all);
}

} // namespace quellora
