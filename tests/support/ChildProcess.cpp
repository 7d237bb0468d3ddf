#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace halvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMilliseconds(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const Options& options) {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if ((options.pipeStdin && ::pipe2(in, O_CLOEXEC) != 0) || (options.pipeStdout && ::pipe2(out, O_CLOEXEC) != 0) ||
        (options.pipeStderr && ::pipe2(err, O_CLOEXEC) != 0)) {
        throw std::runtime_error("pipe failed");
    }
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos) environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& name : options.unsetEnvironment) environment.erase(name);
    for (const auto& [name, value] : options.environment) environment[name] = value;
    std::vector<std::string> environmentTexts;
    for (const auto& [name, value] : environment) environmentTexts.push_back(name + "=" + value);
    std::vector<char*> environmentPointers;
    for (auto& text : environmentTexts) environmentPointers.push_back(text.data());
    environmentPointers.push_back(nullptr);
    std::vector<std::string> arguments = options.arguments;
    std::vector<char*> argumentPointers;
    for (auto& argument : arguments) argumentPointers.push_back(argument.data());
    argumentPointers.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // The child gets default signal handling back (the test process may ignore SIGPIPE).
        ::signal(SIGPIPE, SIG_DFL);
        if (options.pipeStdin) ::dup2(in[0], STDIN_FILENO);
        if (options.pipeStdout) ::dup2(out[1], STDOUT_FILENO);
        if (options.pipeStderr) ::dup2(err[1], STDERR_FILENO);
        ::execve(argumentPointers[0], argumentPointers.data(), environmentPointers.data());
        ::_exit(127);
    }
    if (options.pipeStdin) {
        ::close(in[0]);
        stdin_ = in[1];
    }
    if (options.pipeStdout) {
        ::close(out[1]);
        stdout_ = out[0];
    }
    if (options.pipeStderr) {
        ::close(err[1]);
        stderr_ = err[0];
        ::fcntl(stderr_, F_SETFL, O_NONBLOCK);
    }
}

ChildProcess::~ChildProcess() {
    closeStdin();
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
    if (stderr_ >= 0) ::close(stderr_);
}

void ChildProcess::writeStdin(const std::string& bytes) {
    std::size_t offset = 0;
    while (stdin_ >= 0 && offset < bytes.size()) {
        const ssize_t written = ::write(stdin_, bytes.data() + offset, bytes.size() - offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        offset += static_cast<std::size_t>(written);
    }
}

void ChildProcess::closeStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
}

void ChildProcess::closeStdout() {
    if (stdout_ >= 0) ::close(stdout_);
    stdout_ = -1;
    stdoutClosed_ = true;
}

std::optional<std::string> ChildProcess::readStdoutLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto newline = stdoutBuffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = stdoutBuffer_.substr(0, newline);
            stdoutBuffer_.erase(0, newline + 1);
            return line;
        }
        if (stdoutClosed_ || stdout_ < 0) return std::nullopt;
        drainStderr();
        pollfd descriptor{stdout_, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, remainingMilliseconds(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char chunk[65536];
        const ssize_t count = ::read(stdout_, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            stdoutClosed_ = true;
            continue;
        }
        stdoutBuffer_.append(chunk, static_cast<std::size_t>(count));
    }
}

std::string ChildProcess::readAllStdout(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string all;
    while (Clock::now() < deadline) {
        const auto line = readStdoutLine(std::chrono::milliseconds(remainingMilliseconds(deadline)));
        if (!line) break;
        all += *line + "\n";
    }
    all += stdoutBuffer_;
    stdoutBuffer_.clear();
    return all;
}

void ChildProcess::drainStderr() {
    if (stderr_ < 0) return;
    char chunk[65536];
    while (true) {
        const ssize_t count = ::read(stderr_, chunk, sizeof chunk);
        if (count <= 0) return;
        stderrBuffer_.append(chunk, static_cast<std::size_t>(count));
    }
}

std::string ChildProcess::stderrSoFar() {
    drainStderr();
    return stderrBuffer_;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_) return status_;
    const auto deadline = Clock::now() + timeout;
    while (true) {
        drainStderr();
        int status = 0;
        const pid_t result = ::waitpid(pid_, &status, WNOHANG);
        if (result == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            drainStderr();
            return status_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::kill(int signal) {
    if (!status_ && pid_ > 0) ::kill(pid_, signal);
}

}  // namespace halvex::testing
