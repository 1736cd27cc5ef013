// Load and save of a list file with 1,000,000 items, each beside the floor:
// a plain read-and-split, and a plain write, of the same bytes in the same run.

#include "ListFile.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
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
    std::vector<std::string> items;
    items.reserve(n);
    for (int i = 0; i < n; ++i)
        items.push_back("/home/user/Music/Artist " + std::to_string(i % 997) + "/Album/" + std::to_string(i) +
                        " - Some Song Title.mp3");
    char dir[] = "/tmp/quellora-bench.XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/big.qfl";
    const std::string floorPath = std::string(dir) + "/floor.qfl";

    SaveListFile(path, items);
    size_t loaded = 0;
    const double loadMs = bestMs(5, [&] { loaded = LoadListFile(path).size(); });
    size_t split = 0;
    const double floorLoadMs = bestMs(5, [&] { split = floorSplit(path).size(); });
    const double saveMs = bestMs(5, [&] { SaveListFile(path, items); });
    const double floorSaveMs = bestMs(5, [&] { floorWrite(floorPath, items); });

    std::printf("list file of %d items (%zu / %zu read back)\n", n, loaded, split);
    std::printf("load  %8.1f ms   floor (read and split) %8.1f ms   ratio %.2f (goal <= 3)\n", loadMs, floorLoadMs,
                loadMs / floorLoadMs);
    std::printf("save  %8.1f ms   floor (plain write)    %8.1f ms   ratio %.2f (goal <= 2)\n", saveMs, floorSaveMs,
                saveMs / floorSaveMs);
    std::remove(path.c_str());
    std::remove(floorPath.c_str());
    rmdir(dir);
    return 0;
}
