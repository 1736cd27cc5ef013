// gifframes: shows what the player reads from a GIF file, frame by frame,
// and with an output folder writes each decoded frame as frameNNN.bmp.
//
// usage: gifframes <file.gif> [output folder]
//
// Exit status: 0 when the file loaded and every frame decoded, 1 when the
// load or a frame failed (what was read is still shown), 2 on bad usage.

#include "RxGIF.h"

#include <QFile>

#include <cstdio>
#include <exception>
#include <string>

using namespace quellora;

namespace {

const char* VersionName(TGIFVersion version)
{
    switch (version) {
    case gv87a:
        return "87a";
    case gv89a:
        return "89a";
    default:
        return "unknown";
    }
}

std::string ColorName(TColor color)
{
    if (color == clNone)
        return "none";
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(color), GetGValue(color), GetBValue(color));
    return text;
}

bool WriteFile(const std::string& path, const QByteArray& bytes)
{
    QFile file(QString::fromLocal8Bit(path.c_str()));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <file.gif> [output folder]\n", argv[0]);
        return 2;
    }
    const std::string folder = argc == 3 ? std::string(argv[2]) + "/" : std::string();
    int status = 0;

    TGIFImage image;
    try {
        image.LoadFromFile(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        status = 1;
    }

    std::printf("size %dx%d\n", image.Empty() ? 0 : image.LogicalWidth(), image.Empty() ? 0 : image.LogicalHeight());
    std::printf("version %s\n", VersionName(image.Version()));
    if (image.LoopFound())
        std::printf("loop %u\n", unsigned(image.LoopCount()));
    else
        std::printf("loop none\n");
    std::printf("frames %d\n", image.Count());

    for (int i = 0; i < image.Count(); ++i) {
        TGIFFrame& frame = image.Frames(i);
        std::string error;
        TBitmap* bitmap = nullptr;
        try {
            bitmap = &frame.FrameBitmap();
        } catch (const std::exception& e) {
            error = e.what();
            status = 1;
        }
        const TGIFItem& item = frame.Item();
        std::printf("frame %d origin %d,%d size %dx%d delay %u disposal %u key %s corrupt %s%s%s\n", i,
                    frame.Origin().X, frame.Origin().Y, item.Width, item.Height, unsigned(frame.DelayMs()),
                    unsigned(frame.Disposal()), ColorName(frame.KeyColor()).c_str(), frame.Corrupt() ? "yes" : "no",
                    error.empty() ? "" : " error ", error.c_str());
        if (!folder.empty() && bitmap && !bitmap->Empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "frame%03d.bmp", i);
            if (!WriteFile(folder + name, bitmap->SaveToBytes())) {
                std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name);
                status = 1;
            }
        }
    }
    return status;
}
