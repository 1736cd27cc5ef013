// What one file's tags cost to read: an everyday tag, a tag with a picture
// of 100 MB between its title and its artist, and a tag of 100 MB of small
// frames, each as time (first read and best of five) and as growth of the
// resident memory's peak, beside the floor of reading a whole tag of the
// same size into memory. The goal: a few milliseconds and about a
// megabyte, whatever the tag holds.

#include "Id3Tags.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t Big = 100 << 20;

// The peak of this process's resident memory in KiB.
long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

std::string bigEndian(std::size_t n)
{
    return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
}

std::string syncSafe(std::size_t n)
{
    return {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
}

std::string frameHeader(const std::string& id, std::size_t size)
{
    return id + bigEndian(size) + std::string(2, '\0');
}

std::string frame(const std::string& id, const std::string& data)
{
    return frameHeader(id, data.size()) + data;
}

// An ID3v2.3 tag: `before`, then a frame `id` of `size` bytes (`lead` and
// then `fill`), or `size` bytes of small frames when `id` is empty, then
// `after`; then a little "audio". Written in pieces, so that the writer's
// memory does not hide the reader's.
void writeSong(const std::string& path, const std::string& before, const std::string& id, std::size_t size,
               char lead, char fill, const std::string& after)
{
    std::ofstream out(path, std::ios::binary);
    const std::size_t middle = id.empty() ? size : 10 + size;
    out << "ID3" << '\3' << '\0' << '\0' << syncSafe(before.size() + middle + after.size()) << before;
    if (id.empty()) {
        const std::string small = frame("TXXX", std::string("\0a\0b", 4));
        for (std::size_t done = 0; done + small.size() <= size; done += small.size())
            out << small;
        out << std::string(size % small.size(), '\0');
    } else if (size > 0) {
        out << frameHeader(id, size) << lead;
        const std::string chunk(1 << 20, fill);
        for (std::size_t done = 1; done < size; done += chunk.size())
            out.write(chunk.data(), std::streamsize(std::min(chunk.size(), size - done)));
    }
    out << after << std::string(4096, '\x55');
}

template <typename F>
double ms(F f)
{
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

void measure(const char* what, const std::string& path)
{
    const long peak = peakKiB();
    TTrackTags tags;
    const double first = ms([&] { tags = ReadTrackTags(path); });
    double best = first;
    for (int i = 0; i < 5; ++i)
        best = std::min(best, ms([&] { tags = ReadTrackTags(path); }));
    std::printf("%-34s first %8.3f ms, best %8.3f ms, peak memory +%6ld KiB  (title %zu bytes, %zu artists)\n",
                what, first, best, peakKiB() - peak, tags.Title.size(), tags.Artists.size());
}

} // namespace

int main()
{
    char dir[] = "/tmp/id3bench.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string plain = std::string(dir) + "/plain.mp3";
    const std::string picture = std::string(dir) + "/picture.mp3";
    const std::string small = std::string(dir) + "/small-frames.mp3";
    const std::string text = std::string(dir) + "/huge-title.mp3";

    const std::string title = frame("TIT2", std::string("\0Title", 6));
    const std::string artist = frame("TPE1", std::string("\0Artist", 7));
    writeSong(plain, title + artist, "", 0, 0, 0, "");
    writeSong(picture, title, "APIC", Big, '\0', '\x55', artist);
    writeSong(small, "", "", Big, 0, 0, artist);
    writeSong(text, "", "TIT2", Big, '\0', 'a', "");

    std::printf("ID3 tags of one file (ReadTrackTags)\n");
    measure("everyday tag", plain);
    measure("100 MB picture between the frames", picture);
    measure("100 MB of 14-byte frames", small);
    measure("100 MB title", text);

    // The floor a reader that takes the whole tag pays.
    const long peak = peakKiB();
    std::string whole;
    const double floorMs = ms([&] {
        std::ifstream in(picture, std::ios::binary);
        whole.resize(Big + 64);
        in.read(whole.data(), std::streamsize(whole.size()));
    });
    std::printf("%-34s first %8.3f ms,                  peak memory +%6ld KiB\n", "floor: read the 100 MB tag whole",
                floorMs, peakKiB() - peak);

    for (const std::string& path : {plain, picture, small, text})
        unlink(path.c_str());
    rmdir(dir);
    return 0;
}
