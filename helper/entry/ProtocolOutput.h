#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include <nlohmann/json.hpp>

namespace halvex {

// The single serialised writer of protocol lines on one channel. Any thread may write; each
// message is encoded and written whole under one lock, so lines never interleave.
class ProtocolOutput {
public:
    // Does not own `descriptor` and never closes it.
    static std::shared_ptr<ProtocolOutput> create(int descriptor);

    // Encodes compactly and writes the line. A value that cannot be encoded is logged
    // ("Could not encode a protocol envelope: …") and dropped; a failed write drops the rest quietly.
    void write(const nlohmann::json& envelope);

private:
    explicit ProtocolOutput(int descriptor) : descriptor_(descriptor) {}
    void writeFully(std::string_view bytes);

    std::mutex lock_;
    int descriptor_;
};

}  // namespace halvex
