#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "client/session/HelperMessage.h"
#include "client/session/HelperProcess.h"
#include "helper/protocol/HelperRequest.h"

namespace halvex::client {

// The protocol conversation with one helper: numbered requests written as request lines, every
// line read back decoded, responses matched to their request and events queued in arrival order.
// Single-threaded; every wait also watches the interrupt descriptor.
class HelperSession {
public:
    explicit HelperSession(std::unique_ptr<HelperProcess> helper);

    // Sends one request and waits for its response. Returns the result; throws HelperCommandError
    // with the helper's text for an error response, HelperGoneError when the helper's output ends
    // first, std::runtime_error on timeout, Interrupted on a signal. Events read meanwhile are
    // queued for `nextEvent`.
    nlohmann::json request(const std::string& command, const Payload& payload = {},
                           std::chrono::milliseconds timeout = std::chrono::seconds(30));

    // Writes a line as typed (for `raw`); false when the helper no longer reads.
    bool sendLine(const std::string& line);

    // The next queued event, reading more when none is queued, until `timeout`. Nothing on
    // timeout; HelperGoneError at the end of the helper's output; Interrupted on a signal.
    std::optional<HelperMessage> nextEvent(std::chrono::milliseconds timeout);
    // The next message of any kind (for `raw`), with the same rules.
    std::optional<HelperMessage> nextMessage(std::chrono::milliseconds timeout);

    // Reads whatever is available without waiting. False once the helper's output has ended.
    bool readAvailable();
    bool hasQueuedEvents() const;
    bool hasQueuedMessages() const { return !events_.empty() || !messages_.empty(); }
    int descriptor() const { return helper_->readDescriptor(); }
    bool outputEnded() const { return ended_; }

    // Lines that were not envelopes, with the reason, for `raw` and diagnostics.
    std::function<void(const std::string& line, const std::string& reason)> onUndecodableLine;

    HelperProcess& process() { return *helper_; }

private:
    // Reads until at least one more message is queued or the deadline passes; false on timeout.
    bool readMore(std::chrono::steady_clock::time_point deadline);
    // One read of the helper's output, split into messages; false once the output has ended.
    bool readChunk();
    void splitLines();

    std::unique_ptr<HelperProcess> helper_;
    std::string buffer_;
    std::deque<HelperMessage> messages_;  // undelivered responses and events, in order
    std::deque<HelperMessage> events_;
    bool ended_ = false;
    std::uint64_t nextId_ = 1;
};

}  // namespace halvex::client
