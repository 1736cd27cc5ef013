#pragma once
// The shape of a skinned window: every pixel of the skin bitmap that is not
// exactly the key colour magenta (255, 0, 255) belongs to the window.

#include <QImage>
#include <QRegion>

class QWidget;

namespace quellora {

// The key-colour test on a row of 3-byte pixels in blue, green, red order.
inline bool IsKeyPixel(const uchar* row, int x)
{
    const uchar* p = row + 3 * x;
    return p[0] == 255 && p[1] == 0 && p[2] == 255;
}

// The same on a row of 32-bit pixels, whose lower 24 bits are the colour.
inline bool IsKeyPixel(const QRgb* row, int x)
{
    return (row[x] & 0xFFFFFFu) == 0xFF00FFu;
}

struct TRun {
    int last;         // the run's last column
    bool transparent; // a run of key pixels
};

// The run of pixels of one class that starts at column x of a row `width` pixels wide.
TRun FindRun(const uchar* row, int width, int x);
TRun FindRun(const QRgb* row, int width, int x);

// The region of the opaque pixels, each row cut into maximal runs. The key
// colour is found whatever the depth: 32-bit bitmaps are read by the colour in
// their lower 24 bits, 8-bit ones through their palette, and any other depth
// is converted to 24 bits first.
QRegion BuildSkinRegion(const QImage& bitmap);

// Gives the window its shape. An empty region leaves nothing of the window
// shown (Qt alone would read it as no shape at all).
void SetWindowRgn(QWidget* window, const QRegion& region);

// False where a window's shape only decides where it takes input while the
// window system still draws the whole window (Wayland): there the window
// must paint what lies outside its shape see-through itself.
bool ShapeHidesPixels();

// The skin with every pixel outside `region` see-through, for such window systems.
QImage SeeThroughOutside(const QImage& skin, const QRegion& region);

} // namespace quellora
