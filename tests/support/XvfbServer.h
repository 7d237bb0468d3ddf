#pragma once

#include <sys/types.h>

#include <string>

namespace halvex::testing {

// A private Xvfb on a display number the server picks itself (-displayfd), stopped by its pid when
// the object goes away. Tests that need X make one; nothing depends on a display being set.
class XvfbServer {
public:
    explicit XvfbServer(int width = 1920, int height = 1080, int depth = 24);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N"; empty when the server could not start.
    const std::string& display() const { return display_; }
    bool running() const { return !display_.empty(); }

    // Stops the server and keeps its display number from other servers until this object goes
    // away, so a client that reconnects after the loss finds no server rather than another test's.
    // False when another server took the number first.
    bool stopAndHoldDisplayNumber();

private:
    void stop();

    pid_t pid_ = -1;
    std::string display_;
    int heldSocket_ = -1;
};

}  // namespace halvex::testing
