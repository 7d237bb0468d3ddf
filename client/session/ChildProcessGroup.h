#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvex::client {

// Every process the client starts (the helper, Xvfb, the demo window), tracked by pid so that each
// one is ended and reaped whichever way the client leaves: a normal return, an error, SIGINT or
// SIGTERM. Children also get SIGTERM from the kernel if the client dies without cleaning up.
class ChildProcessGroup {
public:
    // Which standard stream of the child is connected how.
    enum class Stream { inherit, pipe, null, file };

    struct Launch {
        std::vector<std::string> arguments;  // arguments[0] is the executable (searched in PATH when it has no "/")
        std::map<std::string, std::string> environment;  // set in the child on top of ours
        std::vector<std::string> unsetEnvironment;
        Stream stdinMode = Stream::null;
        Stream stdoutMode = Stream::inherit;
        Stream stderrMode = Stream::inherit;
        std::string stderrFile;        // appended to when stderrMode is `file`
        std::vector<int> keepOpen;     // descriptors the child inherits at the same numbers
        std::string name;              // for messages: "helper", "Xvfb", ...
    };

    struct Child {
        pid_t pid = -1;
        int stdinFd = -1;   // our end, when piped
        int stdoutFd = -1;  // our end, when piped
        std::string name;
    };

    ChildProcessGroup() = default;
    // Ends every child still running.
    ~ChildProcessGroup();
    ChildProcessGroup(const ChildProcessGroup&) = delete;
    ChildProcessGroup& operator=(const ChildProcessGroup&) = delete;

    // Forks and executes; throws std::runtime_error naming the program when it cannot be started.
    Child start(const Launch& launch);

    // The exit status (128 + signal for a signal) once `pid` has ended, reaping it; nothing while
    // it runs. A pid that is not ours gives nothing.
    std::optional<int> poll(pid_t pid);
    // Waits up to `seconds` for `pid` to end by itself; its status, or nothing.
    std::optional<int> waitFor(pid_t pid, double seconds);
    // SIGTERM, up to `graceSeconds` for the exit, then SIGKILL; always reaps.
    void end(pid_t pid, double graceSeconds = 3);
    // Ends every child, newest first (the helper before the display it draws from).
    void endAll(double graceSeconds = 3);

    std::vector<pid_t> runningPids() const;

private:
    std::vector<Child> children_;
};

}  // namespace halvex::client
