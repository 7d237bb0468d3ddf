#include "helper/entry/LineReader.h"

#include <unistd.h>

#include <cerrno>

#include "core/support/UTF8.h"

namespace halvex {

std::shared_ptr<LineReader> LineReader::create(int descriptor, Decoding decoding) {
    return std::shared_ptr<LineReader>(new LineReader(descriptor, decoding));
}

std::string LineReader::decode(std::string bytes) const {
    if (decoding_ == Decoding::socket) return halvexIsValidUTF8(bytes) ? bytes : std::string();
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    return halvexRepairedUTF8(bytes);
}

std::optional<std::string> LineReader::nextLine() {
    while (true) {
        // Only the bytes not yet searched are scanned, so a long line costs linear time.
        const auto newline = buffer_.find('\n', searchedUpTo_);
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            searchedUpTo_ = 0;
            return decode(std::move(line));
        }
        searchedUpTo_ = buffer_.size();
        if (atEndOfStream_) return std::nullopt;
        char chunk[readChunkBytes];
        const ssize_t count = ::read(descriptor_, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            atEndOfStream_ = true;
            buffer_.clear();
            return std::nullopt;
        }
        if (count == 0) {
            atEndOfStream_ = true;
            if (buffer_.empty()) return std::nullopt;
            std::string rest = decode(std::move(buffer_));
            buffer_.clear();
            searchedUpTo_ = 0;
            if (rest.empty()) return std::nullopt;
            return rest;
        }
        buffer_.append(chunk, static_cast<std::size_t>(count));
    }
}

}  // namespace halvex
