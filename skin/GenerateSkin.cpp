// Writes the default skin: Bck.bmp, a 24-bit 513 x 513 body with rounded
// corners on magenta, and GifUp.gif, a 513 x 80 animated banner with a
// transparent colour and more than one disposal method.
//
// usage: generate_skin <output directory>

#include "Exceptions.h"
#include "Graphics.h"
#include "RxGIF.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

const QColor Key(255, 0, 255);

void putLE(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}

// A bottom-up 24-bit BMP with rows padded to four bytes.
bool writeBmp24(const QImage& image, const std::string& path)
{
    const int w = image.width(), h = image.height();
    const int stride = (w * 3 + 3) & ~3;
    std::string out;
    out += "BM";
    putLE(out, uint32_t(54 + stride * h), 4);
    putLE(out, 0, 4);
    putLE(out, 54, 4);
    putLE(out, 40, 4);
    putLE(out, uint32_t(w), 4);
    putLE(out, uint32_t(h), 4);
    putLE(out, 1, 2);
    putLE(out, 24, 2);
    putLE(out, 0, 4);
    putLE(out, uint32_t(stride * h), 4);
    putLE(out, 3780, 4);
    putLE(out, 3780, 4);
    putLE(out, 0, 4);
    putLE(out, 0, 4);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = image.pixel(x, y);
            out.push_back(char(qBlue(p)));
            out.push_back(char(qGreen(p)));
            out.push_back(char(qRed(p)));
        }
        out.append(size_t(stride - w * 3), '\0');
    }
    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), std::streamsize(out.size()));
    return bool(file);
}

QImage makeBody()
{
    QImage image(513, 513, QImage::Format_RGB32);
    image.fill(Key);
    QPainter p(&image);
    // No smoothing at the edge: a blended edge pixel would be neither key nor body.
    p.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, 511, 514), 28, 28);
    QLinearGradient shade(0, 0, 0, 513);
    shade.setColorAt(0, QColor(58, 62, 74));
    shade.setColorAt(1, QColor(26, 28, 34));
    p.fillPath(body, shade);
    // A bevel along the body's edge.
    p.setPen(QPen(QColor(96, 104, 122), 2));
    p.drawRoundedRect(QRectF(2, 2, 507, 509), 26, 26);
    // The well behind the playlist and the groove under the gauge.
    p.setPen(QPen(QColor(14, 15, 18), 2));
    p.setBrush(QColor(40, 43, 52));
    p.drawRoundedRect(QRect(24, 104, 465, 353), 10, 10);
    p.drawRoundedRect(QRect(20, 452, 473, 20), 6, 6);
    p.end();
    return image;
}

// The banner's palette: index 0 is the transparent key, then a ramp of the
// skin's colours and a ramp of orange for the bars.
QVector<QRgb> bannerPalette()
{
    QVector<QRgb> colours;
    colours.push_back(qRgb(255, 0, 255));
    for (int i = 0; i < 128; ++i)
        colours.push_back(qRgb(20 + i * 200 / 127, 22 + i * 205 / 127, 28 + i * 215 / 127));
    for (int i = 0; i < 127; ++i)
        colours.push_back(qRgb(255, 60 + i * 160 / 126, i * 80 / 126));
    return colours;
}

QImage toIndexed(const QImage& rgb, const QVector<QRgb>& palette)
{
    return rgb.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string dir = std::string(argv[1]) + "/";

    if (!writeBmp24(makeBody(), dir + "Bck.bmp")) {
        std::fprintf(stderr, "cannot write %sBck.bmp\n", dir.c_str());
        return 1;
    }

    const QVector<QRgb> palette = bannerPalette();
    quellora::TGIFImage gif;
    gif.SetLogicalSize(513, 80);
    gif.SetLooping(true, 0);
    auto addFrame = [&](const QImage& rgb, int left, int top, int delayCs, int disposal) {
        quellora::TBitmap bitmap;
        bitmap.SetImage(toIndexed(rgb, palette));
        quellora::TGIFFrame& frame = gif.Frames(gif.AppendFrame(bitmap));
        frame.SetOrigin({left, top});
        frame.SetDelayMs(std::uint16_t(delayCs * 10));
        frame.SetDisposal(std::uint8_t(disposal));
        frame.SetKeyColor(quellora::RGB(Key.red(), Key.green(), Key.blue()));
    };

    // Frame 1: the whole banner, the top rows transparent above the window.
    QImage banner(513, 80, QImage::Format_RGB32);
    banner.fill(Key);
    {
        QPainter p(&banner);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        QPainterPath strip;
        strip.addRoundedRect(QRectF(0, 8, 511, 80), 28, 28);
        QLinearGradient shade(0, 8, 0, 80);
        shade.setColorAt(0, QColor(120, 128, 150));
        shade.setColorAt(1, QColor(50, 54, 66));
        p.fillPath(strip, shade);
        QFont title("DejaVu Sans", 26, QFont::Bold);
        title.setStyleStrategy(QFont::NoAntialias);
        p.setFont(title);
        p.setPen(QColor(230, 232, 240));
        p.drawText(QRect(24, 14, 300, 56), Qt::AlignLeft | Qt::AlignVCenter, "Quellora");
    }
    addFrame(banner, 0, 0, 40, 1);

    // Frames 2..9: an equaliser at the right, drawn on its own small frame
    // and restored to the background (or to the frame before) after each.
    const int heights[8][6] = {{10, 24, 16, 30, 12, 20}, {18, 14, 28, 20, 26, 10}, {26, 30, 12, 14, 20, 28},
                               {14, 20, 24, 10, 30, 16}, {30, 12, 18, 26, 14, 24}, {20, 28, 30, 18, 10, 12},
                               {12, 16, 20, 30, 24, 30}, {24, 10, 14, 22, 28, 18}};
    for (int f = 0; f < 8; ++f) {
        QImage bars(96, 40, QImage::Format_RGB32);
        bars.fill(Key);
        QPainter p(&bars);
        for (int b = 0; b < 6; ++b) {
            const int h = heights[f][b];
            p.fillRect(QRect(4 + b * 15, 38 - h, 11, h), QColor(255, 140 + h * 2, 20));
        }
        p.end();
        addFrame(bars, 392, 24, 12, f % 2 ? 3 : 2);
    }

    try {
        gif.SaveToFile(dir + "GifUp.gif");
    } catch (const quellora::Exception& e) {
        std::fprintf(stderr, "cannot write %sGifUp.gif: %s\n", dir.c_str(), e.what());
        return 1;
    }
    return 0;
}
