#pragma once

#include <sys/types.h>

#include <string>

#include "client/session/ChildProcessGroup.h"

namespace halvex::client {

// A private Xvfb for machines without a display, on a number the server picks itself
// (-displayfd). It belongs to `group`, which ends it.
class VirtualDisplay {
public:
    // Throws std::runtime_error when Xvfb cannot be started or does not answer in 10 seconds;
    // Interrupted on a signal.
    static VirtualDisplay start(ChildProcessGroup& group, int width = 1280, int height = 720);

    const std::string& display() const { return display_; }  // ":N"
    pid_t pid() const { return pid_; }

private:
    std::string display_;
    pid_t pid_ = -1;
};

// The animated demo chart window (tools/demo-window), started on `display`; `windowId` is the X
// window id it printed once mapped.
class DemoWindow {
public:
    // Throws std::runtime_error when the program cannot be started or prints no window id in 10 s.
    static DemoWindow start(ChildProcessGroup& group, const std::string& executable, const std::string& display,
                            const std::string& title, int width, int height);

    // tools/demo-window/halvex-demo-window next to this program in the build tree;
    // HALVEX_DEMO_WINDOW overrides it.
    static std::string defaultExecutable();

    std::string windowId;
    pid_t pid = -1;
};

}  // namespace halvex::client
