#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "client/commands/Subcommands.h"
#include "client/session/InterruptSignals.h"

namespace halvex::client {

int runRawCommand(ClientContext& context, const std::vector<std::string>& arguments) {
    const auto& options = ClientContext::helperOptions();
    const CommandLine commandLine(arguments, options, 0, 0);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl raw [--socket]\n\nSends every line of standard input to the helper as it is, "
                     "for example\n  {\"id\":\"1\",\"command\":\"ping\"}\nand prints every line the helper writes "
                     "(responses and events). End of input lets the helper stop and exit.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    auto session = context.startHelper(commandLine);
    session->onUndecodableLine = [](const std::string& line, const std::string&) { std::cout << line << std::endl; };
    std::string pending;
    bool inputOpen = true;
    while (true) {
        // Everything already read, in order.
        while (session->hasQueuedMessages()) std::cout << session->nextMessage(std::chrono::milliseconds(0))->line << std::endl;
        if (session->outputEnded()) break;
        pollfd fds[3] = {{session->descriptor(), POLLIN, 0},
                         {inputOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {InterruptSignals::descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, 1000);
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (InterruptSignals::received()) throw Interrupted{InterruptSignals::received()};
        if (fds[0].revents) session->readAvailable();
        if (inputOpen && fds[1].revents) {
            char chunk[4096];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (!pending.empty()) session->sendLine(pending);
                pending.clear();
                inputOpen = false;
                session->process().closeInput();
                continue;
            }
            pending.append(chunk, static_cast<std::size_t>(got));
            std::size_t newline;
            while ((newline = pending.find('\n')) != std::string::npos) {
                session->sendLine(pending.substr(0, newline));
                pending.erase(0, newline + 1);
            }
        }
    }
    const auto status = context.children.waitFor(session->process().pid(), 10);
    context.children.end(session->process().pid());
    return status.value_or(1) == 0 ? 0 : 1;
}

}  // namespace halvex::client
