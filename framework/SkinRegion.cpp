#include "SkinRegion.h"

#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <vector>

namespace quellora {

namespace {

// A row of an 8-bit bitmap: palette indices, and which entries are the key colour.
struct TIndexedRow {
    const uchar* indices;
    const bool* keyEntry;
};

bool IsKeyPixel(const TIndexedRow& row, int x)
{
    return row.keyEntry[row.indices[x]];
}
using quellora::IsKeyPixel;

template <typename Row>
TRun findRun(const Row& row, int width, int x)
{
    const bool transparent = IsKeyPixel(row, x);
    int last = x;
    while (last + 1 < width && IsKeyPixel(row, last + 1) == transparent)
        ++last;
    return {last, transparent};
}

using Runs = std::vector<std::pair<int, int>>; // first and last column of each opaque run

// Rectangles are handed to the region in pieces of this many: the region
// appends each piece below the last, and no copy of the whole is ever made.
constexpr size_t PieceRects = 65536;

class TRegionBuilder {
public:
    // The band of equal rows [top, bottom) made of `runs`.
    void AddBand(const Runs& runs, int top, int bottom)
    {
        for (const auto& [x, last] : runs)
            piece_.emplace_back(QPoint(x, top), QPoint(last, bottom - 1));
        if (piece_.size() >= PieceRects)
            flush();
    }

    QRegion Finish()
    {
        flush();
        return std::move(region_);
    }

private:
    void flush()
    {
        if (piece_.empty())
            return;
        QRegion piece;
        piece.setRects(piece_.data(), int(piece_.size()));
        region_ += piece;
        piece_.clear();
    }

    QRegion region_;
    std::vector<QRect> piece_;
};

// Rows with the same runs are joined into one band, so the rectangles come
// out y-x banded and coalesced, as QRegion keeps them itself.
template <typename RowAt>
QRegion collectRegion(const QImage& image, RowAt rowAt)
{
    const int width = image.width();
    TRegionBuilder builder;
    Runs band, runs;
    int bandTop = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto row = rowAt(y);
        runs.clear();
        for (int x = 0; x < width;) {
            const TRun run = findRun(row, width, x);
            if (!run.transparent)
                runs.emplace_back(x, run.last);
            x = run.last + 1;
        }
        if (runs != band) {
            builder.AddBand(band, bandTop, y);
            band.swap(runs);
            bandTop = y;
        }
    }
    builder.AddBand(band, bandTop, image.height());
    return builder.Finish();
}
} // namespace

TRun FindRun(const uchar* row, int width, int x)
{
    return findRun(row, width, x);
}

TRun FindRun(const QRgb* row, int width, int x)
{
    return findRun(row, width, x);
}

QRegion BuildSkinRegion(const QImage& bitmap)
{
    if (bitmap.isNull())
        return {};
    // 32-bit and 8-bit bitmaps are read in place, by the same colours a
    // 24-bit copy would hold: a copy of a large skin costs more than the scan.
    switch (bitmap.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return collectRegion(bitmap, [&](int y) { return reinterpret_cast<const QRgb*>(bitmap.constScanLine(y)); });
    case QImage::Format_BGR888:
        return collectRegion(bitmap, [&](int y) { return bitmap.constScanLine(y); });
    case QImage::Format_Indexed8: {
        bool keyEntry[256] = {};
        const QList<QRgb> table = bitmap.colorTable();
        for (qsizetype i = 0; i < table.size() && i < 256; ++i)
            keyEntry[i] = IsKeyPixel(&table[i], 0);
        return collectRegion(bitmap, [&](int y) { return TIndexedRow{bitmap.constScanLine(y), keyEntry}; });
    }
    default: {
        const QImage bgr = bitmap.convertToFormat(QImage::Format_BGR888);
        return collectRegion(bgr, [&](int y) { return bgr.constScanLine(y); });
    }
    }
}

void SetWindowRgn(QWidget* window, const QRegion& region)
{
    // One pixel outside the window: a shape that shows nothing.
    window->setMask(region.isEmpty() ? QRegion(-1, -1, 1, 1) : region);
}

bool ShapeHidesPixels()
{
    // Qt hands a Wayland compositor the mask as the input region only.
    return !QGuiApplication::platformName().startsWith("wayland");
}

QImage SeeThroughOutside(const QImage& skin, const QRegion& region)
{
    QImage shown(skin.size(), QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    QPainter painter(&shown);
    painter.setClipRegion(region);
    painter.drawImage(0, 0, skin);
    return shown;
}

} // namespace quellora
