#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvex::testing {

// A child process with pipes on its standard streams, for end-to-end tests. The destructor kills
// the child (by its pid) if it is still running and reaps it.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> arguments;             // arguments[0] is the executable path
        std::map<std::string, std::string> environment;  // added to (or replacing in) the parent's
        std::vector<std::string> unsetEnvironment;
        bool pipeStdin = true;
        bool pipeStdout = true;
        bool pipeStderr = true;
    };

    explicit ChildProcess(const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    void writeStdin(const std::string& bytes);
    void closeStdin();
    // Closes our end of the child's standard output, so its writes meet a broken pipe.
    void closeStdout();

    // The next line of standard output (without its line feed), or nothing on end of output or
    // when `timeout` passes first.
    std::optional<std::string> readStdoutLine(std::chrono::milliseconds timeout);
    // Everything on standard output until the child closes it or `timeout` passes.
    std::string readAllStdout(std::chrono::milliseconds timeout);
    // Everything read from standard error so far (drained without blocking).
    std::string stderrSoFar();

    // Waits for the exit; the exit status, 128+signal for a signal, or nothing on timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    void kill(int signal);

private:
    void drainStderr();

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string stdoutBuffer_;
    std::string stderrBuffer_;
    bool stdoutClosed_ = false;
    std::optional<int> status_;
};

}  // namespace halvex::testing
