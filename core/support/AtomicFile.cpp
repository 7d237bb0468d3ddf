#include "core/support/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/support/PlatformError.h"

namespace halvex {
namespace {

[[noreturn]] void failWith(int errorNumber, const std::string& what, const std::string& path) {
    auto error = PlatformError::posix(errorNumber, what);
    error.withField("path", path);
    throw error;
}

}  // namespace

void halvexWriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::filesystem::path target(path);
    const std::string directory = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    std::string pattern = (std::filesystem::path(directory) / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) failWith(errno, "Could not create a temporary file", path);
    const std::string temporaryPath(temporary.data());
    const auto abandon = [&](int errorNumber, const char* what) {
        ::close(descriptor);
        ::unlink(temporaryPath.c_str());
        failWith(errorNumber, what, path);
    };
    ::fchmod(descriptor, 0644);
    const char* cursor = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(descriptor, cursor, remaining);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) abandon(written < 0 ? errno : EIO, "Could not write the file");
        cursor += written;
        remaining -= static_cast<std::size_t>(written);
    }
    if (::fsync(descriptor) != 0) abandon(errno, "Could not flush the file");
    if (::close(descriptor) != 0) {
        const int errorNumber = errno;
        ::unlink(temporaryPath.c_str());
        failWith(errorNumber, "Could not close the file", path);
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        const int errorNumber = errno;
        ::unlink(temporaryPath.c_str());
        failWith(errorNumber, "Could not replace the file", path);
    }
    // The rename is durable only once the directory entry is on disk.
    const int directoryDescriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryDescriptor >= 0) {
        ::fsync(directoryDescriptor);
        ::close(directoryDescriptor);
    }
}

}  // namespace halvex
