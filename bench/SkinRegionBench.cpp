// Building the window's shape from a skin bitmap: the default 513 x 513 skin
// and 4096 x 4096 skins with many runs, against goals of 2 ms and 100 ms, and
// against uniting one rectangle per run as the region grows.
//
// usage: bench_skin_region [Bck.bmp]

#include "SkinRegion.h"

#include <QGuiApplication>
#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <ctime>
#include <functional>
#include <vector>

using namespace quellora;

namespace {

const QRgb Key = qRgb(255, 0, 255);

struct Timing {
    double wall; // median milliseconds
    double cpu;  // median milliseconds of this thread's processor time
};

double cpuNow()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

Timing measure(int runs, const std::function<void()>& work)
{
    std::vector<double> walls, cpus;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = cpuNow();
        const auto start = std::chrono::steady_clock::now();
        work();
        walls.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        cpus.push_back(cpuNow() - cpu0);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

// Every row different: runs of 1 to `maxRun` pixels, key and body alternating.
QImage manyRuns(int side, int maxRun)
{
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(1);
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        bool key = y % 2;
        for (int x = 0; x < side;) {
            const int run = 1 + int(random.bounded(maxRun));
            for (int i = 0; i < run && x < side; ++i, ++x)
                row[x] = key ? Key : qRgb(40, 44, 52);
            key = !key;
        }
    }
    return image;
}

// One rectangle a run, united into a row region, each row united into the whole.
QRegion unitedOneByOne(const QImage& bitmap)
{
    const QImage image = bitmap.convertToFormat(QImage::Format_BGR888);
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        QRegion rowRegion;
        for (int x = 0; x < image.width();) {
            const TRun run = FindRun(row, image.width(), x);
            if (!run.transparent)
                rowRegion |= QRegion(x, y, run.last - x + 1, 1);
            x = run.last + 1;
        }
        region |= rowRegion;
    }
    return region;
}

void report(const char* what, const QImage& image, int runs, double goalMs)
{
    int rects = 0;
    const Timing t = measure(runs, [&] { rects = BuildSkinRegion(image).rectCount(); });
    std::printf("%-40s %4dx%-4d %8d rects  wall %8.3f ms  cpu %8.3f ms  (%5.1f%% of the %3.0f ms goal)\n", what,
                image.width(), image.height(), rects, t.wall, t.cpu, 100 * t.wall / goalMs, goalMs);
}

// The floor for a region of `rects` rectangles: writing its bytes to memory
// fresh from the system. Page faults cost very differently from one machine
// to the next.
void freshMemoryBaseline(int rects)
{
    const size_t bytes = size_t(rects) * sizeof(QRect);
    const Timing t = measure(5, [&] {
        void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return;
        std::memset(memory, 1, bytes);
        munmap(memory, bytes);
    });
    std::printf("floor: writing %.0f MB of fresh memory, as the region of %d rectangles holds: wall %.3f ms  cpu %.3f ms\n",
                double(bytes) / 1e6, rects, t.wall, t.cpu);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUELLORA_DEFAULT_SKIN);
    const QImage skin(path);
    if (skin.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }

    std::printf("region building, median of repeated runs\n");
    report("default skin, as loaded", skin, 201, 2);
    report("default skin, already 24-bit", skin.convertToFormat(QImage::Format_BGR888), 201, 2);
    report("default skin, 8-bit palette", skin.convertToFormat(QImage::Format_Indexed8), 201, 2);
    const QImage runs8 = manyRuns(4096, 8);
    report("4096 skin, runs of 1-8 px, every row new", runs8, 9, 100);
    report("4096 skin, same, already 24-bit", runs8.convertToFormat(QImage::Format_BGR888), 9, 100);
    report("4096 skin, runs of 1-64 px", manyRuns(4096, 64), 9, 100);
    report("4096 skin, runs of 1 px (worst case)", manyRuns(4096, 1), 5, 100);
    freshMemoryBaseline(BuildSkinRegion(runs8).rectCount());

    std::printf("\nagainst uniting one rectangle per run\n");
    for (const QImage& image : {skin, manyRuns(512, 8), manyRuns(1024, 8)}) {
        const double fast = measure(9, [&] { BuildSkinRegion(image); }).cpu;
        const double slow = measure(3, [&] { unitedOneByOne(image); }).cpu;
        const bool same = (BuildSkinRegion(image) ^ unitedOneByOne(image)).isEmpty();
        std::printf("%4dx%-4d  collected: cpu %8.3f ms   one by one: cpu %8.3f ms   ratio %6.1fx   same pixels: %s\n",
                    image.width(), image.height(), fast, slow, slow / fast, same ? "yes" : "NO");
    }
    return 0;
}
