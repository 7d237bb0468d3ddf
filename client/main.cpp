// halvexctl: drives the capture helper from a terminal or a script. See `halvexctl --help`.
#include <iostream>
#include <string>
#include <vector>

#include "client/commands/Subcommands.h"
#include "client/session/InterruptSignals.h"
#include "core/chart/tradingview/tesseract/SingleThreadedOpenMP.h"

namespace {

void printUsage() {
    std::cout << "Usage: halvexctl COMMAND [ARGUMENTS] [--socket] [--helper PATH] [--helper-log FILE]\n\nCommands:\n";
    for (const auto& subcommand : halvex::client::subcommands()) {
        std::string name = subcommand.name;
        name.resize(12, ' ');
        std::cout << "  " << name << subcommand.summary << "\n";
    }
    std::cout << "\n`halvexctl COMMAND --help` describes each one. The helper is started for each command and "
                 "ended when it finishes, also on Ctrl-C.\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace halvex::client;
    // The recogniser (halvexctl ocr) and the helper started from here both want OpenMP on one thread.
    halvex::halvexEnsureSingleThreadedOpenMP(argc, argv);
    InterruptSignals::install();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty() || arguments.front() == "--help" || arguments.front() == "-h" || arguments.front() == "help") {
        printUsage();
        return arguments.empty() ? 2 : 0;
    }
    const std::string& name = arguments.front();
    const Subcommand* chosen = nullptr;
    for (const auto& subcommand : subcommands()) {
        if (name == subcommand.name) chosen = &subcommand;
    }
    if (!chosen) {
        std::cerr << "halvexctl: unknown command '" << name << "'.\n\n";
        printUsage();
        return 2;
    }
    ChildProcessGroup children;
    ClientContext context{children};
    int status = 1;
    try {
        status = chosen->run(context, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    } catch (const UsageError& error) {
        reportError(name, std::string(error.what()) + " See `halvexctl " + name + " --help`.");
        status = 2;
    } catch (const Interrupted& interrupted) {
        std::cerr << "halvexctl " << name << ": interrupted." << std::endl;
        status = 128 + interrupted.signal;
    } catch (const std::exception& error) {
        reportError(name, error.what());
        status = 1;
    }
    // Whatever happened, no helper, Xvfb or demo window outlives the client.
    children.endAll();
    return status;
}
