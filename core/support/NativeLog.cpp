#include "core/support/NativeLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "core/support/ISO8601.h"

namespace halvex {
namespace {

std::mutex& logLock() {
    static std::mutex lock;
    return lock;
}

int logFileDescriptor = -1;  // guarded by logLock()

void writeAll(int descriptor, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

}  // namespace

void halvexNativeLog(std::string_view message) {
    std::string line;
    line.reserve(message.size() + 48);
    line += '[';
    line += halvexISO8601String(halvexEpochNow());
    line += "] [HalvexMacHelper] ";
    line += message;
    line += '\n';
    writeAll(STDERR_FILENO, line.data(), line.size());
    std::lock_guard guard(logLock());
    if (logFileDescriptor >= 0) writeAll(logFileDescriptor, line.data(), line.size());
}

void halvexSetLogFile(const std::optional<std::string>& path) {
    std::lock_guard guard(logLock());
    if (logFileDescriptor >= 0) {
        ::close(logFileDescriptor);
        logFileDescriptor = -1;
    }
    if (!path || path->empty() || path->front() != '/') return;
    logFileDescriptor = ::open(path->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

}  // namespace halvex
