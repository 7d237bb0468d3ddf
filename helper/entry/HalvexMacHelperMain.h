#pragma once

#include <string>
#include <vector>

#include "helper/commands/HelperEnvironment.h"
#include "helper/entry/SocketTransport.h"

namespace halvex::HalvexMacHelperMain {

// Picks the launch mode from the command line and runs it; returns the process's exit status
// (0, or 2 when the control socket cannot be reached).
int main(const std::vector<std::string>& arguments);

// Connects, sends the hello and serves requests until end of input or "shutdown".
int runSocketMode(const SocketTransport::Options& options, const HelperEnvironment& environment);
// Serves standard input and output (no hello) until end of input or "shutdown".
int runStdioMode(const HelperEnvironment& environment);

}  // namespace halvex::HalvexMacHelperMain
