#pragma once

#include <memory>
#include <optional>
#include <string>

namespace halvex {

// Splits a descriptor's bytes into lines at 0x0A; lines may span any number of reads.
class LineReader {
public:
    enum class Decoding {
        // Control socket: a line that is not valid UTF-8 becomes the empty text.
        socket,
        // Standard input: a trailing CR is dropped too and invalid bytes become U+FFFD.
        standardInput,
    };

    static std::shared_ptr<LineReader> create(int descriptor, Decoding decoding);

    // The next line without its delimiter, or nothing at end of input or after a read error. A last
    // line without a final line feed is still returned. Blocks in read(2); not thread-safe.
    std::optional<std::string> nextLine();

    static constexpr std::size_t readChunkBytes = 16'384;

private:
    LineReader(int descriptor, Decoding decoding) : descriptor_(descriptor), decoding_(decoding) {}
    std::string decode(std::string bytes) const;

    int descriptor_;
    Decoding decoding_;
    std::string buffer_;
    std::size_t searchedUpTo_ = 0;
    bool atEndOfStream_ = false;
};

}  // namespace halvex
