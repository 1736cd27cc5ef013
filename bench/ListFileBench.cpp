// A list of 1,000,000 items: load and save of its list file through the
// playlist's model, each beside the floor (a plain read-and-split, a plain
// write, of the same bytes in the same run); the resident memory that the
// loaded list holds; and the text the list view asks for, per row and for
// one item of 50 MB.

#include "StringListModel.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quellora;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F>
double bestMs(int runs, F f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

// Resident memory of this process in KiB.
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

std::vector<std::string> floorSplit(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        text.resize(size_t(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        text.resize(std::fread(text.data(), 1, text.size(), f));
        std::fclose(f);
    }
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            items.emplace_back(text, start, i - start - 1);
            start = i + 1;
        }
    return items;
}

void floorWrite(const std::string& path, const std::vector<std::string>& items)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& item : items) {
        out.write(item.data(), std::streamsize(item.size()));
        out.write("\r\n", 2);
    }
}

} // namespace

int main()
{
    const int n = 1'000'000;
    char dir[] = "/tmp/quellora-bench.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/big.qfl";
    const std::string floorPath = std::string(dir) + "/floor.qfl";
    // Written line by line: no list is held before the memory is measured.
    size_t fileBytes = 0;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < n; ++i) {
            const std::string item = "/home/user/Music/Artist " + std::to_string(i % 997) + "/Album/" +
                                     std::to_string(i) + " - Some Song Title.mp3";
            out << item << "\r\n";
            fileBytes += item.size() + 2;
        }
    }

    // The memory first, in a process that has held no list yet.
    const long before = residentKiB();
    auto* held = new TStringListModel;
    held->LoadFromFile(path);
    const long after = residentKiB();
    const int count = held->Count();
    delete held;

    TStringListModel model;
    const double loadMs = bestMs(5, [&] { model.LoadFromFile(path); });
    size_t split = 0;
    const double floorLoadMs = bestMs(5, [&] { split = floorSplit(path).size(); });
    const double saveMs = bestMs(5, [&] { model.SaveToFile(path); });
    const std::vector<std::string> plain = floorSplit(path);
    const double floorSaveMs = bestMs(5, [&] { floorWrite(floorPath, plain); });

    // What the list view asks for: the shown text of every row once.
    qsizetype shownChars = 0;
    const double rowsMs = bestMs(3, [&] {
        shownChars = 0;
        for (int row = 0; row < model.Count(); ++row)
            shownChars += model.data(model.index(row), Qt::DisplayRole).toString().size();
    });

    // One hostile item of 50 MB among ordinary ones.
    TStringListModel hostile;
    hostile.Add("/a.mp3");
    hostile.Add(std::string(50'000'000, 'x'));
    qsizetype longShown = 0;
    const double longMs = bestMs(3, [&] { longShown = hostile.data(hostile.index(1), Qt::DisplayRole).toString().size(); });

    std::printf("list file of %d items, %.1f MB (%d / %zu read back)\n", n, double(fileBytes) / 1e6, count, split);
    std::printf("held in the model: %.1f MB resident, %.1f bytes per item (%.1f of them text)\n",
                double(after - before) / 1024.0, double(after - before) * 1024.0 / n, double(fileBytes) / n - 2);
    std::printf("load  %8.1f ms   floor (read and split) %8.1f ms   ratio %.2f (goal <= 3)\n", loadMs, floorLoadMs,
                loadMs / floorLoadMs);
    std::printf("save  %8.1f ms   floor (plain write)    %8.1f ms   ratio %.2f (goal <= 2)\n", saveMs, floorSaveMs,
                saveMs / floorSaveMs);
    std::printf("shown text of every row: %8.1f ms (%.0f ns a row, %lld characters)\n", rowsMs, rowsMs * 1e6 / n,
                (long long)shownChars);
    std::printf("shown text of a 50 MB item: %8.3f ms (%lld characters)\n", longMs, (long long)longShown);
    std::remove(path.c_str());
    std::remove(floorPath.c_str());
    rmdir(dir);
    return 0;
}
