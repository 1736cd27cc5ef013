#pragma once
// The progress gauge: a windowless, opaque control that shows how far a
// value lies between MinValue and MaxValue as a bar, a pie or a needle,
// with the percentage as text over it. Every paint composes the picture in
// off-screen bitmaps and copies it to the screen once, so it never flickers.

#include "Graphics.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace quellora {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

// A scratch bitmap of the gauge's paint.
class TBltBitmap : public TBitmap {
public:
    // Takes the source's width and height and fills itself with clWindowFrame.
    void MakeLike(const TBitmap& source);
};

class TGauge : public QWidget {
    Q_OBJECT
    // For the stored window definition (colours as colour values).
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE SetProgress)
    Q_PROPERTY(int Kind READ kindValue WRITE setKindValue)
    Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)
    Q_PROPERTY(int BorderStyle READ borderStyleValue WRITE setBorderStyleValue)
    Q_PROPERTY(int ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(int BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(int Color READ Color WRITE SetColor)
    Q_PROPERTY(int FontColor READ fontColor WRITE setFontColor)

public:
    explicit TGauge(QWidget* parent = nullptr);

    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    int Progress() const { return progress_; }
    // EInvalidOperation "Value must be between %d and %d" when the value
    // would pass the other end of the range (not while the form loads).
    void SetMinValue(int value);
    void SetMaxValue(int value);
    // Clamped into MinValue..MaxValue; repaints only when the whole
    // percentage changes.
    void SetProgress(int value);

    TGaugeKind Kind() const { return kind_; }
    void SetKind(TGaugeKind kind);
    bool ShowText() const { return showText_; }
    void SetShowText(bool show);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    TColor ForeColor() const { return foreColor_; }
    void SetForeColor(TColor color);
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor color);
    // The pie's and needle's surroundings: the parent's colour until set.
    TColor Color() const;
    void SetColor(TColor color);
    // The parent's font until set; its colour is not used by the text.
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font);

    // Whole percentage of Progress within the range, 0 for an empty range.
    int PercentComplete() const;

    // While set, MinValue and MaxValue skip their range checks; the form
    // that holds the gauge counts as loading until its creation handler runs.
    void SetLoading(bool loading) { loading_ = loading; }
    bool Loading() const;

    // Immediate repaints the gauge has asked for, and paints it has done.
    int RepaintCount() const { return repaintCount_; }
    int PaintCount() const { return paintCount_; }

    // The picture of the gauge as the next paint shows it, in a bitmap of its size.
    std::unique_ptr<TBitmap> Render() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refreshNow();
    // Repaints at once what changed in the gauge's picture.
    void repaintChanges();
    // Tells a screen reader of a new percentage (GaugeAccessible.cpp).
    void announcePercent();
    template <typename T>
    void setAndRepaint(T& field, T value);
    void paintBar(TCanvas& canvas, const TRect& inner, bool horizontal) const;
    // Fills the inner rectangle with Color, sets the pen; the inner extent.
    TSize prepareDial(TCanvas& canvas, const TRect& inner) const;
    void paintPie(TCanvas& canvas, const TRect& inner) const;
    void paintNeedle(TCanvas& canvas, const TRect& inner) const;
    void paintText(TBitmap& image, const TRect& inner) const;

    int kindValue() const { return kind_; }
    void setKindValue(int kind) { SetKind(TGaugeKind(kind)); }
    int borderStyleValue() const { return borderStyle_; }
    void setBorderStyleValue(int style) { SetBorderStyle(TBorderStyle(style)); }
    int fontColor() const { return font_.Color; }
    void setFontColor(int color);

    int minValue_ = 0;
    int maxValue_ = 100;
    int progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
    TColor foreColor_ = clBlack;
    TColor backColor_ = clWhite;
    TColor color_ = clDefault; // clDefault: the parent's
    TFont font_;
    bool loading_ = false;
    int announcedPercent_ = 0;
    int repaintCount_ = 0;
    int paintCount_ = 0;
    // The picture the gauge's surface shows, and whether a repaint of only
    // the parts that changed in it is under way.
    QImage shown_;
    bool stepping_ = false;
};

} // namespace quellora
