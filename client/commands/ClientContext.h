#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/commands/CommandLine.h"
#include "client/session/ChildProcessGroup.h"
#include "client/session/HelperSession.h"

namespace halvex::client {

// What every subcommand shares: the options that say how the helper is started, and the group
// that ends every child process the subcommand started.
struct ClientContext {
    ChildProcessGroup& children;

    // --socket, --helper PATH, --helper-log FILE.
    static const std::vector<OptionSpec>& helperOptions();

    // Starts the helper as the command line says (standard streams unless --socket), with
    // `environment` added to ours and its diagnostics in --helper-log or else `defaultLog`
    // (empty: our standard error).
    std::unique_ptr<HelperSession> startHelper(const CommandLine& commandLine,
                                               const std::map<std::string, std::string>& environment = {},
                                               const std::string& defaultLog = "") const;
};

// Ends a session politely: "shutdown", then end of input, then waits a little for the exit
// before the group ends the process by force. Never throws.
void shutDownHelper(ClientContext& context, HelperSession& session, double graceSeconds = 10);

// The subcommand's entry: its arguments after the subcommand's name; returns the exit status.
using SubcommandMain = int (*)(ClientContext& context, const std::vector<std::string>& arguments);

}  // namespace halvex::client
