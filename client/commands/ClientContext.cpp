#include "client/commands/ClientContext.h"

#include <unistd.h>

#include <filesystem>

namespace halvex::client {

const std::vector<OptionSpec>& ClientContext::helperOptions() {
    static const std::vector<OptionSpec> options{
        {"socket", false, "", "talk over a private Unix socket (the helper connects and proves a random token)"},
        {"helper", true, "PATH", "the HalvexMacHelper to run (default: the one built next to halvexctl)"},
        {"helper-log", true, "FILE", "append the helper's diagnostics to FILE instead of standard error"},
    };
    return options;
}

std::unique_ptr<HelperSession> ClientContext::startHelper(const CommandLine& commandLine,
                                                          const std::map<std::string, std::string>& environment,
                                                          const std::string& defaultLog) const {
    HelperLaunchOptions options;
    options.executable = commandLine.value("helper", HelperProcess::defaultExecutable());
    options.overSocket = commandLine.flag("socket");
    options.environment = environment;
    options.logFile = commandLine.value("helper-log", defaultLog);
    // The helper's --log-file must be absolute.
    if (!options.logFile.empty()) options.logFile = std::filesystem::absolute(options.logFile).string();
    if (::access(options.executable.c_str(), X_OK) != 0) {
        throw std::runtime_error("The helper " + options.executable + " is not an executable file (see --helper).");
    }
    return std::make_unique<HelperSession>(HelperProcess::launch(children, options));
}

void shutDownHelper(ClientContext& context, HelperSession& session, double graceSeconds) {
    try {
        if (!session.outputEnded()) session.request("shutdown", {}, std::chrono::seconds(30));
    } catch (...) {
        // Going anyway: end of input and then the group's SIGTERM cover it.
    }
    session.process().closeInput();
    context.children.waitFor(session.process().pid(), graceSeconds);
    context.children.end(session.process().pid());
}

}  // namespace halvex::client
