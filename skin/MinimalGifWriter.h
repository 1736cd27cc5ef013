#pragma once
// A small GIF writer for the default skin: 8-bit frames with one global
// colour table, graphic control extensions and a looping extension.

#include <QImage>
#include <QVector>
#include <string>
#include <vector>

namespace quellora::skin {

struct GifFrame {
    QImage image; // Format_Indexed8 over the global palette
    int left = 0;
    int top = 0;
    int delayCs = 10;      // hundredths of a second
    int disposal = 1;      // 1 keep, 2 restore background, 3 restore previous
    bool transparent = false; // index 0 is transparent
};

struct GifFrames {
    int width = 0;
    int height = 0;
    QVector<QRgb> palette; // 256 entries
    int loops = 0;         // 0 loops forever
    std::vector<GifFrame> frames;
};

bool WriteGif(const GifFrames& gif, const std::string& path, std::string& error);

} // namespace quellora::skin
