#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>

#include "client/session/ChildProcessGroup.h"

namespace halvex::client {

// How to start the helper.
struct HelperLaunchOptions {
    std::string executable;     // the HalvexMacHelper binary
    bool overSocket = false;    // listen on a private Unix socket and let the helper connect
    std::map<std::string, std::string> environment;  // e.g. DISPLAY for a virtual display
    std::string logFile;        // the helper's diagnostics go here (appended) instead of our stderr
    double connectTimeoutSeconds = 15;
};

// A running helper and the two ends of its control channel. Over standard streams they are the
// pipes on its stdin and stdout; over a socket both are the accepted connection, whose hello
// carried the token the client generated.
class HelperProcess {
public:
    // Starts the helper inside `group` (which ends it whatever happens). Throws std::runtime_error
    // when it cannot be started, does not connect in time, exits first, or greets with the wrong
    // token; Interrupted when a signal arrives while waiting.
    static std::unique_ptr<HelperProcess> launch(ChildProcessGroup& group, const HelperLaunchOptions& options);

    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    pid_t pid() const { return pid_; }
    int readDescriptor() const { return readFd_; }
    int writeDescriptor() const { return writeFd_; }
    // Closes our writing end: the helper sees end of input, stops capture and exits.
    void closeInput();

    // The helper next to this program in the build tree (../helper/HalvexMacHelper), or in the
    // same directory; HALVEX_HELPER overrides both.
    static std::string defaultExecutable();

private:
    HelperProcess() = default;

    pid_t pid_ = -1;
    int readFd_ = -1;
    int writeFd_ = -1;
    bool sharedDescriptor_ = false;
    std::string socketDirectory_;
};

// A path relative to this executable's directory, for the helper and the demo window.
std::string siblingExecutable(const std::string& relativePath);

}  // namespace halvex::client
