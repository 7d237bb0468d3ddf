#include "helper/entry/ProtocolOutput.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "core/support/JSONEncoding.h"
#include "core/support/NativeLog.h"

namespace halvex {

std::shared_ptr<ProtocolOutput> ProtocolOutput::create(int descriptor) {
    return std::shared_ptr<ProtocolOutput>(new ProtocolOutput(descriptor));
}

void ProtocolOutput::write(const nlohmann::json& envelope) {
    std::lock_guard guard(lock_);
    std::string line;
    try {
        line = halvexEncodeCompact(envelope);
    } catch (const std::exception& error) {
        halvexNativeLog(std::string("Could not encode a protocol envelope: ") + error.what());
        return;
    }
    line += '\n';
    writeFully(line);
}

void ProtocolOutput::writeFully(std::string_view bytes) {
    bool useSend = true;
    while (!bytes.empty()) {
        // send() with MSG_NOSIGNAL keeps a vanished socket peer from raising SIGPIPE; pipes and
        // files fall back to write(), and the entry ignores SIGPIPE for those.
        ssize_t written = useSend ? ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL) : -1;
        if (useSend && written < 0 && errno == ENOTSOCK) useSend = false;
        if (!useSend) written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace halvex
