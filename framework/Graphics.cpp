#include "Graphics.h"
#include "QtText.h"

#include "Dib.h"
#include "Exceptions.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cmath>
#include <cstring>

namespace quellora {

namespace {

const QList<QRgb> kMonoTable = {qRgb(0, 0, 0), qRgb(255, 255, 255)};

// The 16 colours of a standard 4-bit palette.
QList<QRgb> StandardPalette16()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(128, 128, 128),
            qRgb(192, 192, 192), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// The index of the table colour nearest to `rgb`.
int NearestIndex(const QList<QRgb>& table, QRgb rgb)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < table.size(); ++i) {
        const long dr = qRed(table[i]) - qRed(rgb), dg = qGreen(table[i]) - qGreen(rgb),
                   db = qBlue(table[i]) - qBlue(rgb);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

// An image of `format` and size, every pixel white (or the nearest table colour).
QImage BlankImage(int width, int height, QImage::Format format, const QList<QRgb>& table)
{
    QImage image(width, height, format);
    if (format == QImage::Format_RGB32) {
        image.fill(qRgb(255, 255, 255));
    } else {
        image.setColorTable(table);
        image.fill(uint(NearestIndex(table, qRgb(255, 255, 255))));
    }
    return image;
}

} // namespace

QImage::Format ImageFormatOf(TPixelFormat format)
{
    switch (format) {
    case pf1bit:
        return QImage::Format_Mono;
    case pf4bit:
    case pf8bit:
        return QImage::Format_Indexed8;
    default:
        return QImage::Format_RGB32;
    }
}

// --- TFont ---------------------------------------------------------------

int TFont::Size() const
{
    if (Height < 0)
        return int(std::lround(-Height * 72.0 / 96.0));
    return int(std::lround(Height * 72.0 / 96.0));
}

void TFont::SetSize(int points)
{
    Height = -int(std::lround(points * 96.0 / 72.0));
}

QFont TFont::ToQFont() const
{
    QFont font(ToQString(Name));
    // Faces of the old system are usually missing here; these are close in shape and width.
    font.setFamilies({ToQString(Name), "Liberation Sans", "Arial", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    font.setHintingPreference(QFont::PreferFullHinting);
    if (Height < 0) {
        font.setPixelSize(-Height);
    } else if (Height > 0) {
        // A cell height includes the internal leading: scale the character height down to fit.
        font.setPixelSize(Height);
        const QFontMetrics metrics(font);
        if (metrics.height() > Height)
            font.setPixelSize(std::max(1, Height * Height / metrics.height()));
    }
    font.setBold((Style & fsBold) != 0);
    font.setItalic((Style & fsItalic) != 0);
    font.setUnderline((Style & fsUnderline) != 0);
    font.setStrikeOut((Style & fsStrikeOut) != 0);
    return font;
}

TFont TFont::FromQFont(const QFont& font, TColor color)
{
    TFont result;
    result.Name = FromQString(font.family());
    if (font.pixelSize() > 0)
        result.Height = -font.pixelSize();
    else
        result.Height = -int(std::lround(font.pointSizeF() * 96.0 / 72.0));
    result.Color = color;
    result.Style = (font.bold() ? fsBold : 0u) | (font.italic() ? fsItalic : 0u) |
                   (font.underline() ? fsUnderline : 0u) | (font.strikeOut() ? fsStrikeOut : 0u);
    return result;
}

// --- TBitmap -------------------------------------------------------------

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(*this)) {}

TBitmap::TBitmap(int width, int height, TPixelFormat format) : TBitmap()
{
    format_ = format;
    resize(width, height);
}

TBitmap::~TBitmap() = default;

void TBitmap::Assign(const TBitmap& source)
{
    if (&source == this)
        return;
    image_ = source.image_;
    width_ = source.width_;
    height_ = source.height_;
    format_ = source.format_;
    handleType_ = source.handleType_;
    palette_ = source.palette_;
    Transparent = source.Transparent;
    transparentColor_ = source.transparentColor_;
    Changed();
}

void TBitmap::SetWidth(int width)
{
    if (width != width_)
        resize(width, height_);
}

void TBitmap::SetHeight(int height)
{
    if (height != height_)
        resize(width_, height);
}

void TBitmap::SetSize(int width, int height)
{
    if (width != width_ || height != height_)
        resize(width, height);
}

QList<QRgb> TBitmap::table() const
{
    if (!image_.isNull())
        return image_.colorTable();
    if (!palette_.isEmpty())
        return palette_;
    if (format_ == pf1bit)
        return kMonoTable;
    if (format_ == pf4bit)
        return StandardPalette16();
    if (format_ == pf8bit) {
        // A grey ramp until a palette is given.
        QList<QRgb> ramp;
        for (int i = 0; i < 256; ++i)
            ramp.append(qRgb(i, i, i));
        return ramp;
    }
    return {};
}

void TBitmap::resize(int width, int height)
{
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    const QList<QRgb> colors = table();
    if (!image_.isNull())
        palette_ = image_.colorTable();
    if (width_ == 0 || height_ == 0) {
        image_ = QImage();
    } else {
        QImage resized = BlankImage(width_, height_, ImageFormatOf(format_), colors);
        if (!image_.isNull()) {
            const int rows = std::min(height_, image_.height());
            const int bytes = std::min(resized.bytesPerLine(), image_.bytesPerLine());
            const int keepBits = std::min(width_, image_.width()) * resized.depth();
            for (int y = 0; y < rows; ++y) {
                std::uint8_t* to = resized.scanLine(y);
                const std::uint8_t* from = image_.constScanLine(y);
                const int whole = std::min(bytes, keepBits / 8);
                std::memcpy(to, from, std::size_t(whole));
                // A monochrome row may end in a partly kept byte.
                if (keepBits % 8 != 0 && whole < bytes) {
                    const std::uint8_t mask = std::uint8_t(0xFF << (8 - keepBits % 8));
                    to[whole] = std::uint8_t((from[whole] & mask) | (to[whole] & ~mask));
                }
            }
        }
        image_ = resized;
    }
    Changed();
}

void TBitmap::adopt(QImage image, TPixelFormat format)
{
    image_ = std::move(image);
    format_ = format;
    width_ = image_.width();
    height_ = image_.height();
    palette_ = image_.colorTable();
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == format_)
        return;
    const QImage::Format target = ImageFormatOf(format);
    format_ = format;
    if (image_.isNull()) {
        palette_.clear();
        Changed();
        return;
    }
    QImage converted;
    const auto flags = Qt::ThresholdDither | Qt::AvoidDither;
    if (target == QImage::Format_RGB32) {
        converted = image_.convertToFormat(QImage::Format_RGB32);
    } else {
        palette_.clear();
        const QList<QRgb> colors = format == pf1bit ? kMonoTable
                                   : format == pf4bit ? StandardPalette16()
                                   : image_.format() == QImage::Format_Indexed8 ? image_.colorTable()
                                                                                : QList<QRgb>();
        if (colors.isEmpty())
            converted = image_.convertToFormat(target, flags);
        else
            converted = image_.convertToFormat(QImage::Format_RGB32).convertToFormat(target, colors, flags);
    }
    adopt(converted, format);
}

void TBitmap::SetMonochrome(bool mono)
{
    if (mono)
        SetPixelFormat(pf1bit);
    else if (format_ == pf1bit)
        SetPixelFormat(pfDevice);
}

void TBitmap::SetHandleType(THandleType type)
{
    if (type == bmDDB && format_ != pf1bit && format_ != pfDevice)
        SetPixelFormat(pfDevice);
    handleType_ = type;
}

std::vector<TColor> TBitmap::Palette() const
{
    std::vector<TColor> colors;
    for (QRgb rgb : table())
        colors.push_back(QRgbToColor(rgb));
    return colors;
}

void TBitmap::SetPalette(const std::vector<TColor>& colors)
{
    if (format_ == pfDevice || format_ == pf24bit || format_ == pf32bit)
        return;
    QList<QRgb> qcolors;
    for (TColor c : colors)
        qcolors.append(ColorToQRgb(c));
    const int size = format_ == pf1bit ? 2 : format_ == pf4bit ? 16 : 256;
    while (qcolors.size() < size)
        qcolors.append(qRgb(0, 0, 0));
    qcolors.resize(size);
    palette_ = qcolors;
    if (!image_.isNull())
        image_.setColorTable(qcolors);
    PaletteModified = true;
    Changed();
}

bool TBitmap::HasPalette() const
{
    if (format_ == pf4bit || format_ == pf8bit)
        return true;
    return format_ == pf1bit && table() != kMonoTable;
}

TColor TBitmap::TransparentColor() const
{
    if (transparentColor_ != clDefault)
        return transparentColor_;
    return Empty() ? clNone : Pixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    transparentColor_ = color;
}

void TBitmap::ResetTransparentColor()
{
    transparentColor_ = clDefault;
}

void TBitmap::SetImage(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
        adopt(image, pf1bit);
        break;
    case QImage::Format_MonoLSB:
        adopt(image.convertToFormat(QImage::Format_Mono), pf1bit);
        break;
    case QImage::Format_Indexed8:
        adopt(image, image.colorCount() <= 16 ? pf4bit : pf8bit);
        break;
    case QImage::Format_RGB32:
        adopt(image, pfDevice);
        break;
    default:
        adopt(image.convertToFormat(QImage::Format_RGB32), pfDevice);
        break;
    }
}

std::uint8_t* TBitmap::ScanLine(int row)
{
    return image_.isNull() ? nullptr : image_.scanLine(row);
}

const std::uint8_t* TBitmap::ScanLine(int row) const
{
    return image_.isNull() ? nullptr : image_.constScanLine(row);
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (image_.isNull() || x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return clNone;
    return QRgbToColor(image_.pixel(x, y));
}

void TBitmap::LoadFromBytes(const QByteArray& bytes)
{
    QImage image;
    int bits = 0;
    switch (ReadDib(bytes, image, bits)) {
    case TDibResult::Ok:
        break;
    case TDibResult::Unsupported: {
        // Run-length encodings are left to the toolkit's reader.
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "BMP");
        if (reader.read(&image) && !image.isNull()) {
            if (image.format() != QImage::Format_Mono && image.format() != QImage::Format_Indexed8)
                image = image.convertToFormat(QImage::Format_RGB32);
            break;
        }
        [[fallthrough]];
    }
    case TDibResult::Invalid:
        throw EInvalidGraphic("Bitmap image is not valid");
    }
    TPixelFormat format = pfDevice;
    switch (bits) {
    case 1: format = pf1bit; break;
    case 4: format = pf4bit; break;
    case 8: format = pf8bit; break;
    case 24: format = pf24bit; break;
    case 32: format = pf32bit; break;
    default:
        format = image.format() == QImage::Format_Mono       ? pf1bit
                 : image.format() == QImage::Format_Indexed8 ? pf8bit
                                                              : pfDevice;
        break;
    }
    handleType_ = bmDIB;
    adopt(image, format);
}

void TBitmap::LoadFromFile(const std::string& path)
{
    QFile file(ToQString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(Format("Cannot open file %s", path.c_str()));
    LoadFromBytes(file.readAll());
}

QImage LoadBitmapFile(const std::string& path)
{
    TBitmap bitmap;
    bitmap.LoadFromFile(path);
    return bitmap.Image().convertToFormat(QImage::Format_RGB32);
}

QByteArray TBitmap::SaveToBytes() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image_.isNull())
        image_.save(&buffer, "BMP");
    return bytes;
}

void TBitmap::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace quellora
