#include "client/session/HelperProcess.h"

#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "client/session/HelperMessage.h"
#include "client/session/InterruptSignals.h"

namespace halvex::client {
namespace {

std::string randomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    std::size_t filled = 0;
    while (filled < bytes) {
        const ssize_t got = ::getrandom(raw.data() + filled, bytes - filled, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("No random bytes for the socket token.");
        filled += static_cast<std::size_t>(got);
    }
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : raw) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// Waits until `fd` is readable, the helper exits or the deadline passes. True when readable.
bool waitReadable(int fd, ChildProcessGroup& group, pid_t pid, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {InterruptSignals::descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, InterruptSignals::descriptor() >= 0 ? 2 : 1, 50);
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (InterruptSignals::received()) throw Interrupted{InterruptSignals::received()};
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) return true;
        if (const auto status = group.poll(pid)) {
            throw std::runtime_error("The helper exited with status " + std::to_string(*status) +
                                     " before it connected.");
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
}

std::string readHelloLine(int fd, ChildProcessGroup& group, pid_t pid, std::chrono::steady_clock::time_point deadline) {
    std::string buffer;
    while (buffer.find('\n') == std::string::npos) {
        if (!waitReadable(fd, group, pid, deadline)) throw std::runtime_error("The helper connected but sent no hello.");
        char chunk[4096];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("The helper closed the control socket before its hello.");
        buffer.append(chunk, static_cast<std::size_t>(got));
        if (buffer.size() > 1 << 20) throw std::runtime_error("The helper's hello is too long.");
    }
    return buffer.substr(0, buffer.find('\n'));
}

}  // namespace

std::string siblingExecutable(const std::string& relativePath) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return relativePath;
    return (self.parent_path() / relativePath).lexically_normal().string();
}

std::string HelperProcess::defaultExecutable() {
    if (const char* path = std::getenv("HALVEX_HELPER"); path && *path) return path;
    for (const char* candidate : {"../helper/HalvexMacHelper", "HalvexMacHelper"}) {
        const auto path = siblingExecutable(candidate);
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return siblingExecutable("../helper/HalvexMacHelper");
}

HelperProcess::~HelperProcess() {
    closeInput();
    if (!sharedDescriptor_ && readFd_ >= 0) ::close(readFd_);
    readFd_ = -1;
    if (!socketDirectory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(socketDirectory_, ignored);
    }
}

void HelperProcess::closeInput() {
    if (writeFd_ < 0) return;
    if (sharedDescriptor_) {
        ::shutdown(writeFd_, SHUT_WR);
    } else {
        ::close(writeFd_);
    }
    writeFd_ = -1;
}

std::unique_ptr<HelperProcess> HelperProcess::launch(ChildProcessGroup& group, const HelperLaunchOptions& options) {
    std::unique_ptr<HelperProcess> helper(new HelperProcess());
    ChildProcessGroup::Launch launch;
    launch.name = "helper";
    launch.arguments = {options.executable};
    launch.environment = options.environment;
    if (!options.environment.count("DISPLAY") && !std::getenv("DISPLAY")) launch.unsetEnvironment.push_back("DISPLAY");
    if (!options.logFile.empty()) {
        launch.stderrMode = ChildProcessGroup::Stream::file;
        launch.stderrFile = options.logFile;
    }
    if (!options.overSocket) {
        launch.stdinMode = ChildProcessGroup::Stream::pipe;
        launch.stdoutMode = ChildProcessGroup::Stream::pipe;
        const auto child = group.start(launch);
        helper->pid_ = child.pid;
        helper->readFd_ = child.stdoutFd;
        helper->writeFd_ = child.stdinFd;
        return helper;
    }

    // A private directory keeps other users off the socket; the token proves that the process
    // that connects is the one we started.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime ? runtime : "/tmp";
    std::string directory = base + "/halvexctl-" + randomHex(6);
    if (::mkdir(directory.c_str(), 0700) != 0) {
        directory = "/tmp/halvexctl-" + randomHex(6);
        if (::mkdir(directory.c_str(), 0700) != 0) {
            throw std::runtime_error("Could not create a socket directory: " + std::string(std::strerror(errno)));
        }
    }
    helper->socketDirectory_ = directory;
    const std::string path = directory + "/control.sock";
    const std::string token = randomHex(16);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) throw std::runtime_error("The socket path is too long: " + path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) throw std::runtime_error("Could not create a socket: " + std::string(std::strerror(errno)));
    struct ListenerCloser {
        int fd;
        ~ListenerCloser() { ::close(fd); }
    } closer{listener};
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) {
        throw std::runtime_error("Could not listen on " + path + ": " + std::strerror(errno));
    }

    launch.arguments.insert(launch.arguments.end(), {"--socket", path, "--token", token});
    if (!options.logFile.empty()) launch.arguments.insert(launch.arguments.end(), {"--log-file", options.logFile});
    const auto child = group.start(launch);
    helper->pid_ = child.pid;

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(options.connectTimeoutSeconds));
    if (!waitReadable(listener, group, child.pid, deadline)) {
        throw std::runtime_error("The helper did not connect to " + path + " in time.");
    }
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) throw std::runtime_error("Could not accept the helper: " + std::string(std::strerror(errno)));
    helper->readFd_ = connection;
    helper->writeFd_ = connection;
    helper->sharedDescriptor_ = true;

    const auto hello = HelperMessage::decode(readHelloLine(connection, group, child.pid, deadline));
    if (hello.kind != HelperMessage::Kind::event || hello.event != HelperEvent::hello || !hello.result.is_object()) {
        throw std::runtime_error("The helper's first message was not its hello.");
    }
    const auto sent = hello.result.find("token");
    if (sent == hello.result.end() || !sent->is_string() || sent->get<std::string>() != token) {
        throw std::runtime_error("The process on the control socket did not present our token; it was turned away.");
    }
    return helper;
}

}  // namespace halvex::client
