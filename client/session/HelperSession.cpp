#include "client/session/HelperSession.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "client/session/InterruptSignals.h"
#include "core/support/JSONEncoding.h"

namespace halvex::client {
namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t offset = 0;
    while (fd >= 0 && offset < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + offset, bytes.size() - offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        offset += static_cast<std::size_t>(written);
    }
    return fd >= 0;
}

}  // namespace

HelperSession::HelperSession(std::unique_ptr<HelperProcess> helper) : helper_(std::move(helper)) {}

bool HelperSession::sendLine(const std::string& line) {
    return writeAll(helper_->writeDescriptor(), line + "\n");
}

nlohmann::json HelperSession::request(const std::string& command, const Payload& payload,
                                      std::chrono::milliseconds timeout) {
    const HelperRequest request{"ctl-" + std::to_string(nextId_++), command, payload};
    if (!sendLine(halvexEncodeCompact(toJSON(request)))) {
        throw HelperGoneError("The helper no longer reads requests (\"" + command + "\" was not sent).");
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        while (!messages_.empty()) {
            HelperMessage message = std::move(messages_.front());
            messages_.pop_front();
            if (message.kind == HelperMessage::Kind::event) {
                events_.push_back(std::move(message));
                continue;
            }
            if (message.id != request.id) continue;  // an answer to a line sent by hand earlier
            if (!message.ok) throw HelperCommandError(message.error);
            return message.result;
        }
        if (ended_) throw HelperGoneError("The helper exited before answering \"" + command + "\".");
        if (!readMore(deadline)) throw std::runtime_error("The helper did not answer \"" + command + "\" in time.");
    }
}

std::optional<HelperMessage> HelperSession::nextEvent(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        while (!messages_.empty()) {
            if (messages_.front().kind == HelperMessage::Kind::event) events_.push_back(std::move(messages_.front()));
            messages_.pop_front();
        }
        if (!events_.empty()) {
            HelperMessage event = std::move(events_.front());
            events_.pop_front();
            return event;
        }
        if (ended_) throw HelperGoneError("The helper's output ended.");
        if (!readMore(deadline)) return std::nullopt;
    }
}

bool HelperSession::hasQueuedEvents() const {
    if (!events_.empty()) return true;
    for (const auto& message : messages_) {
        if (message.kind == HelperMessage::Kind::event) return true;
    }
    return false;
}

std::optional<HelperMessage> HelperSession::nextMessage(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (!events_.empty()) {
            HelperMessage event = std::move(events_.front());
            events_.pop_front();
            return event;
        }
        if (!messages_.empty()) {
            HelperMessage message = std::move(messages_.front());
            messages_.pop_front();
            return message;
        }
        if (ended_) throw HelperGoneError("The helper's output ended.");
        if (!readMore(deadline)) return std::nullopt;
    }
}

bool HelperSession::readAvailable() {
    while (!ended_) {
        pollfd fd{helper_->readDescriptor(), POLLIN, 0};
        const int ready = ::poll(&fd, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (!readChunk()) break;
    }
    return !ended_;
}

bool HelperSession::readMore(std::chrono::steady_clock::time_point deadline) {
    const std::size_t before = messages_.size();
    while (messages_.size() == before && !ended_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{helper_->readDescriptor(), POLLIN, 0}, {InterruptSignals::descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (InterruptSignals::received()) throw Interrupted{InterruptSignals::received()};
        if (ready <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!readChunk()) break;
    }
    return true;
}

bool HelperSession::readChunk() {
    char chunk[65536];
    const ssize_t got = ::read(helper_->readDescriptor(), chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) return true;
    if (got <= 0) {
        ended_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
    splitLines();
    return true;
}

void HelperSession::splitLines() {
    std::size_t newline;
    while ((newline = buffer_.find('\n')) != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        try {
            messages_.push_back(HelperMessage::decode(line));
        } catch (const std::invalid_argument& error) {
            if (onUndecodableLine) onUndecodableLine(line, error.what());
        }
    }
}

}  // namespace halvex::client
