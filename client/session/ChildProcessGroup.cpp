#include "client/session/ChildProcessGroup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace halvex::client {
namespace {

int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

void openOnto(const char* path, int flags, int target) {
    const int fd = ::open(path, flags, 0644);
    if (fd >= 0 && fd != target) {
        ::dup2(fd, target);
        ::close(fd);
    }
}

}  // namespace

ChildProcessGroup::~ChildProcessGroup() { endAll(); }

ChildProcessGroup::Child ChildProcessGroup::start(const Launch& launch) {
    if (launch.arguments.empty()) throw std::runtime_error("No program to start.");
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (launch.stdinMode == Stream::pipe && ::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (launch.stdoutMode == Stream::pipe && ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    // The exec failure travels back on a close-on-exec pipe: nothing arrives when exec succeeds.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

    std::vector<std::string> arguments = launch.arguments;
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed: " + std::string(std::strerror(errno)));
    if (pid == 0) {
        // If the client is killed outright its children still go.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);  // a terminal's Ctrl-C reaches the client only; the client ends the children
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        if (launch.stdinMode == Stream::pipe) ::dup2(in[0], STDIN_FILENO);
        if (launch.stdinMode == Stream::null) openOnto("/dev/null", O_RDONLY, STDIN_FILENO);
        if (launch.stdoutMode == Stream::pipe) ::dup2(out[1], STDOUT_FILENO);
        if (launch.stdoutMode == Stream::null) openOnto("/dev/null", O_WRONLY, STDOUT_FILENO);
        if (launch.stderrMode == Stream::null) openOnto("/dev/null", O_WRONLY, STDERR_FILENO);
        if (launch.stderrMode == Stream::file) {
            openOnto(launch.stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, STDERR_FILENO);
        }
        for (const int fd : launch.keepOpen) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0) ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC);
        }
        for (const auto& name : launch.unsetEnvironment) ::unsetenv(name.c_str());
        for (const auto& [name, value] : launch.environment) ::setenv(name.c_str(), value.c_str(), 1);
        ::execvp(argv[0], argv.data());
        const int failure = errno;
        [[maybe_unused]] auto written = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    int failure = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (launch.stdinMode == Stream::pipe) ::close(in[0]);
    if (launch.stdoutMode == Stream::pipe) ::close(out[1]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        if (launch.stdinMode == Stream::pipe) ::close(in[1]);
        if (launch.stdoutMode == Stream::pipe) ::close(out[0]);
        throw std::runtime_error("Could not start " + launch.arguments[0] + ": " + std::strerror(failure));
    }
    Child child{pid, launch.stdinMode == Stream::pipe ? in[1] : -1, launch.stdoutMode == Stream::pipe ? out[0] : -1,
                launch.name.empty() ? launch.arguments[0] : launch.name};
    children_.push_back(child);
    return child;
}

std::optional<int> ChildProcessGroup::poll(pid_t pid) {
    const auto child = std::find_if(children_.begin(), children_.end(), [pid](const Child& c) { return c.pid == pid; });
    if (child == children_.end()) return std::nullopt;
    int raw = 0;
    pid_t result;
    do {
        result = ::waitpid(pid, &raw, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return std::nullopt;
    if (child->stdinFd >= 0) ::close(child->stdinFd);
    if (child->stdoutFd >= 0) ::close(child->stdoutFd);
    children_.erase(child);
    return result == pid ? statusOf(raw) : 128 + SIGKILL;
}

std::optional<int> ChildProcessGroup::waitFor(pid_t pid, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        if (const auto status = poll(pid)) return status;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcessGroup::end(pid_t pid, double graceSeconds) {
    if (poll(pid)) return;
    if (std::none_of(children_.begin(), children_.end(), [pid](const Child& c) { return c.pid == pid; })) return;
    ::kill(pid, SIGTERM);
    if (waitFor(pid, graceSeconds)) return;
    ::kill(pid, SIGKILL);
    waitFor(pid, 5);
}

void ChildProcessGroup::endAll(double graceSeconds) {
    while (!children_.empty()) end(children_.back().pid, graceSeconds);
}

std::vector<pid_t> ChildProcessGroup::runningPids() const {
    std::vector<pid_t> pids;
    for (const auto& child : children_) pids.push_back(child.pid);
    return pids;
}

}  // namespace halvex::client
