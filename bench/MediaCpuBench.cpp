// CPU used while an MP3 plays to its end through the player's device, beside
// gst-launch-1.0 playing the same file with playbin into the same sink.
//
//   bench_media_cpu [seconds=30] [runs=1]
//
// Each player runs as a child process and is measured whole (user + system
// time from wait4). The device runs twice: waiting for its completion
// notification only, and polled every 10 ms for length and position as the
// main window's tick does. The sink is GStreamer's real-time fake audio sink
// unless GST_PLUGIN_FEATURE_RANK already says otherwise.

#include "MPlayer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// The child: plays `file` through the device until it has ended.
int PlayThroughDevice(int argc, char** argv, const char* file, bool polled)
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
    if (polled) {
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const std::int32_t length = player.TrackLength(1);
            if (std::min(player.Position(), length) == length)
                app.quit();
        });
        tick.start(10);
    }
    player.Play();
    app.exec();
    return player.Position() == player.TrackLength(1) ? 0 : 3;
}

void Report(const char* name, const Usage& usage, double baseline)
{
    std::printf("%-34s cpu %7.3f s  wall %6.2f s", name, usage.cpuSeconds, usage.wallSeconds);
    if (baseline > 0)
        std::printf("  ratio %.3f", usage.cpuSeconds / baseline);
    std::printf("%s\n", usage.status == 0 ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && (std::strcmp(argv[1], "--device") == 0 || std::strcmp(argv[1], "--device-polled") == 0))
        return PlayThroughDevice(argc, argv, argv[2], std::strcmp(argv[1], "--device-polled") == 0);

    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    setenv("GST_PLUGIN_FEATURE_RANK", "fakeaudiosink:MAX", 0);

    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/bench.mp3";
    const std::string make = "sox -n -r 44100 -c 2 -b 16 -t wav - synth " + std::to_string(seconds) +
                             " sine 440 2>/dev/null | lame --quiet -b 128 - '" + file + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "could not make the MP3 with sox and lame\n");
        return 1;
    }
    std::printf("%d s MP3 at 128 kbit/s, sink rank: %s, %d run(s)\n", seconds, getenv("GST_PLUGIN_FEATURE_RANK"),
                runs);

    const std::string self = argv[0];
    Usage gst, device, polled;
    for (int run = 0; run < runs; ++run) {
        const Usage g = RunChild({"gst-launch-1.0", "-q", "playbin", "uri=file://" + file});
        const Usage d = RunChild({self, "--device", file});
        const Usage p = RunChild({self, "--device-polled", file});
        for (auto [total, one] : {std::pair{&gst, g}, {&device, d}, {&polled, p}}) {
            total->cpuSeconds += one.cpuSeconds;
            total->wallSeconds += one.wallSeconds;
            total->status = total->status > 0 ? total->status : one.status;
        }
    }
    Report("gst-launch-1.0 playbin", gst, 0);
    Report("device, notification only", device, gst.cpuSeconds);
    Report("device, polled every 10 ms", polled, gst.cpuSeconds);
    std::printf("goal: the device adds no more than 10 %% over gst-launch (ratio <= 1.10)\n");
    return 0;
}
