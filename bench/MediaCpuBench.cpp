// CPU used while an MP3 plays to its end through the player's device, beside
// gst-launch-1.0 playing the same file with playbin into the same sink.
//
//   bench_media_cpu [seconds=30] [runs=1]
//
// Each player runs as a child process and is measured whole (user + system
// time from wait4). The device runs three times: waiting for its completion
// notification only; with a 10 ms timer that asks nothing (the share of a
// tick itself); and polled every 10 ms for length and position, the main
// window's tick at its highest rate (bench/player_bench.sh measures the
// player itself). The sink is GStreamer's real-time fake audio sink unless
// GST_PLUGIN_FEATURE_RANK already says otherwise.

#include "MPlayer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace quellora;

namespace {

struct Usage {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    int status = -1;
};

Usage RunChild(const std::vector<std::string>& argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    Usage usage;
    int status = 0;
    struct rusage ru {};
    if (pid > 0 && wait4(pid, &status, 0, &ru) == pid) {
        usage.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
        usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    usage.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return usage;
}

enum class Ticks { None, Idle, Polling };

// The child: plays `file` through the device until it has ended.
int PlayThroughDevice(int argc, char** argv, const char* file, Ticks ticks)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TMediaPlayer player;
    player.FileName = file;
    try {
        player.Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "open failed: %s\n", e.what());
        return 2;
    }
    player.OnNotify = [&] {
        if (player.NotifyResult() == nvSuccessful)
            app.quit();
    };
    QTimer tick;
    if (ticks == Ticks::Polling) {
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const std::int32_t length = player.TrackLength(1);
            if (std::min(player.Position(), length) == length)
                app.quit();
        });
    }
    if (ticks != Ticks::None)
        tick.start(10);
    player.Play();
    app.exec();
    return player.Position() == player.TrackLength(1) ? 0 : 3;
}

// The child: the CPU of one tick's two questions (length, then position)
// while the file plays.
int MeasureTickQueries(int argc, char** argv, const char* file)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TMediaPlayer player;
    player.FileName = file;
    player.Open();
    player.Play();
    constexpr int ticks = 20000;
    const std::clock_t start = std::clock();
    for (int i = 0; i < ticks; ++i) {
        player.TrackLength(1);
        player.Position();
    }
    const double micros = double(std::clock() - start) / CLOCKS_PER_SEC * 1e6 / ticks;
    std::printf("one tick's length and position questions: %.1f us of CPU\n", micros);
    return 0;
}

// One player's figures: whole-process CPU for the long file, and what
// playing costs beyond starting up (the long file less a 1 s one).
struct Row {
    const char* name;
    std::vector<std::string> command; // the file goes last
    Usage full;
    Usage startup;
    double playing() const { return full.cpuSeconds - startup.cpuSeconds; }
};

void Add(Usage& total, const Usage& one)
{
    total.cpuSeconds += one.cpuSeconds;
    total.wallSeconds += one.wallSeconds;
    total.status = total.status > 0 ? total.status : one.status;
}

bool MakeMp3(const std::string& path, int seconds)
{
    const std::string make = "sox -n -r 44100 -c 2 -b 16 -t wav - synth " + std::to_string(seconds) +
                             " sine 440 2>/dev/null | lame --quiet -b 128 - '" + path + "'";
    return std::system(make.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--device") == 0)
        return PlayThroughDevice(argc, argv, argv[2], Ticks::None);
    if (argc >= 3 && std::strcmp(argv[1], "--device-idle-tick") == 0)
        return PlayThroughDevice(argc, argv, argv[2], Ticks::Idle);
    if (argc >= 3 && std::strcmp(argv[1], "--device-polled") == 0)
        return PlayThroughDevice(argc, argv, argv[2], Ticks::Polling);
    if (argc >= 3 && std::strcmp(argv[1], "--tick-queries") == 0)
        return MeasureTickQueries(argc, argv, argv[2]);

    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    setenv("GST_PLUGIN_FEATURE_RANK", "fakeaudiosink:MAX", 0);

    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/bench.mp3";
    const std::string shortFile = dir.path().toStdString() + "/short.mp3";
    if (!MakeMp3(file, seconds) || !MakeMp3(shortFile, 1)) {
        std::fprintf(stderr, "could not make the MP3 files with sox and lame\n");
        return 1;
    }
    std::printf("%d s MP3 at 128 kbit/s, sink rank: %s, %d run(s)\n", seconds, getenv("GST_PLUGIN_FEATURE_RANK"),
                runs);

    const std::string self = argv[0];
    std::vector<Row> rows = {
        {"gst-launch-1.0 playbin", {"gst-launch-1.0", "-q", "playbin", "uri=file://"}, {}, {}},
        {"device, notification only", {self, "--device", ""}, {}, {}},
        {"device + idle 10 ms timer", {self, "--device-idle-tick", ""}, {}, {}},
        {"device polled every 10 ms", {self, "--device-polled", ""}, {}, {}},
    };
    for (int run = 0; run < runs; ++run) {
        for (Row& row : rows) {
            std::vector<std::string> command = row.command;
            command.back() += file;
            Add(row.full, RunChild(command));
            command.back() = row.command.back() + shortFile;
            Add(row.startup, RunChild(command));
        }
    }
    std::fflush(stdout);
    RunChild({self, "--tick-queries", file});

    const double baseline = rows[0].playing();
    std::printf("%-27s %12s %12s %14s %8s\n", "", "process cpu", "start-up", "while playing", "ratio");
    for (const Row& row : rows) {
        std::printf("%-27s %10.3f s %10.3f s %12.3f s %8.3f%s\n", row.name, row.full.cpuSeconds / runs,
                    row.startup.cpuSeconds / runs, row.playing() / runs, row.playing() / baseline,
                    row.full.status == 0 && row.startup.status == 0 ? "" : "  (FAILED)");
    }
    std::printf("start-up: the same player on a 1 s file; while playing: the difference.\n");
    std::printf("goal: the device adds no more than 10 %% over gst-launch while playing (ratio <= 1.10)\n");
    return 0;
}
