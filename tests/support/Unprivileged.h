#pragma once
// Root writes into read-only directories and reads unreadable files, so a
// check of those failures runs in a child process that drops to "nobody"
// first. The child's result travels back as text.

#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quellora::test {

inline std::string RunUnprivileged(const std::function<std::string()>& body)
{
    int channel[2];
    if (pipe(channel) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child < 0)
        return "fork failed";
    if (child == 0) {
        close(channel[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const std::string message = body();
        const ssize_t n = write(channel[1], message.data(), message.size());
        _exit(n == ssize_t(message.size()) ? 0 : 3);
    }
    close(channel[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, size_t(n));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed with status " + std::to_string(status);
    return message;
}

} // namespace quellora::test
