#include "client/session/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "client/session/HelperProcess.h"
#include "client/session/InterruptSignals.h"

namespace halvex::client {
namespace {

// Reads one line from `fd` within `seconds`, watching for signals and for `pid` ending.
std::string readLine(int fd, ChildProcessGroup& group, pid_t pid, double seconds, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    std::string text;
    while (text.find('\n') == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) throw std::runtime_error(what + " did not start in time.");
        pollfd fds[2] = {{fd, POLLIN, 0}, {InterruptSignals::descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, 100);
        if (InterruptSignals::received()) throw Interrupted{InterruptSignals::received()};
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP))) {
            char chunk[64];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) throw std::runtime_error(what + " exited before it was ready.");
            text.append(chunk, static_cast<std::size_t>(got));
        } else if (const auto status = group.poll(pid)) {
            throw std::runtime_error(what + " exited with status " + std::to_string(*status) + ".");
        }
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

VirtualDisplay VirtualDisplay::start(ChildProcessGroup& group, int width, int height) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    ChildProcessGroup::Launch launch;
    launch.name = "Xvfb";
    launch.arguments = {"Xvfb", "-displayfd", std::to_string(channel[1]), "-screen", "0",
                        std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp", "-noreset"};
    launch.stdoutMode = ChildProcessGroup::Stream::null;
    launch.stderrMode = ChildProcessGroup::Stream::null;
    launch.keepOpen = {channel[1]};
    ChildProcessGroup::Child child;
    try {
        child = group.start(launch);
    } catch (...) {
        ::close(channel[0]);
        ::close(channel[1]);
        throw;
    }
    ::close(channel[1]);
    VirtualDisplay display;
    display.pid_ = child.pid;
    try {
        display.display_ = ":" + readLine(channel[0], group, child.pid, 10, "Xvfb");
    } catch (...) {
        ::close(channel[0]);
        throw;
    }
    ::close(channel[0]);
    return display;
}

std::string DemoWindow::defaultExecutable() {
    if (const char* path = std::getenv("HALVEX_DEMO_WINDOW"); path && *path) return path;
    return siblingExecutable("../tools/demo-window/halvex-demo-window");
}

DemoWindow DemoWindow::start(ChildProcessGroup& group, const std::string& executable, const std::string& display,
                             const std::string& title, int width, int height) {
    ChildProcessGroup::Launch launch;
    launch.name = "demo window";
    launch.arguments = {executable, "--title", title, "--width", std::to_string(width), "--height",
                        std::to_string(height), "--fps", "30"};
    launch.environment = {{"DISPLAY", display}};
    launch.stdoutMode = ChildProcessGroup::Stream::pipe;
    const auto child = group.start(launch);
    DemoWindow window;
    window.pid = child.pid;
    window.windowId = readLine(child.stdoutFd, group, child.pid, 10, "The demo window");
    return window;
}

}  // namespace halvex::client
