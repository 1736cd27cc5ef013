#pragma once
// MP3 files made at test time, and a wait that keeps Qt's loop turning.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <functional>
#include <string>

namespace quellora::test {

// A sine tone of `seconds` at `hz`, with lame's Info header (length known at open).
inline bool MakeMp3(const std::string& path, double seconds, int hz = 440)
{
    const std::string command = "sox -n -r 44100 -c 1 -b 16 -t wav - synth " + std::to_string(seconds) + " sine " +
                                std::to_string(hz) + " 2>/dev/null | lame --quiet -b 64 - '" + path + "'";
    return std::system(command.c_str()) == 0;
}

// Keeps the loop turning until `done`, for at most `boundMs`.
inline bool PollUntil(const std::function<bool()>& done, int boundMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > boundMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace quellora::test
