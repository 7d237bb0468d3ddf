#pragma once

#include <cstdlib>

namespace halvex::x11 {

// Owns one reply (or event, or error) that xcb allocated with malloc, and frees it on scope exit.
template <typename T>
struct XcbReply {
    T* value;
    explicit XcbReply(T* pointer) : value(pointer) {}
    ~XcbReply() { std::free(value); }
    XcbReply(const XcbReply&) = delete;
    XcbReply& operator=(const XcbReply&) = delete;
    T* operator->() const { return value; }
    explicit operator bool() const { return value != nullptr; }
};

}  // namespace halvex::x11
