#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iostream>

#include "client/commands/RecordingSession.h"
#include "client/commands/Subcommands.h"
#include "client/session/InterruptSignals.h"
#include "core/sources/SourceCatalogListing.h"

namespace halvex::client {
namespace {

std::vector<OptionSpec> recordOptions() {
    std::vector<OptionSpec> options{
        {"out", true, "DIR", "output directory: segments/ and manifests/ go there (required)"},
        {"fps", true, "N", "frames per second, 1-60 (default 30)"},
        {"segment-seconds", true, "S", "segment length, 1-60 (default 10)"},
        {"buffer-seconds", true, "S", "rolling buffer length, 1-3600 (default 180)"},
        {"mode", true, "MODE", "rolling (default) or on-trade"},
        {"pre-roll", true, "S", "seconds kept before a mark (default 120)"},
        {"post-roll", true, "S", "seconds kept after an end (default 30)"},
    };
    const auto& shared = ClientContext::helperOptions();
    options.insert(options.end(), shared.begin(), shared.end());
    return options;
}

// Where the live line goes: rewritten in place on a terminal, a line now and then otherwise.
class StatusPrinter {
public:
    StatusPrinter() : terminal_(::isatty(STDOUT_FILENO) == 1) {}

    void status(const std::string& line, const std::string& phase) {
        const auto now = std::chrono::steady_clock::now();
        if (terminal_) {
            std::cout << "\r\033[K" << line << std::flush;
            shown_ = true;
            return;
        }
        if (phase != lastPhase_ || now - lastPrinted_ >= std::chrono::seconds(5)) {
            std::cout << line << std::endl;
            lastPrinted_ = now;
            lastPhase_ = phase;
        }
    }
    void notice(const std::string& line) {
        if (terminal_ && shown_) std::cout << "\r\033[K";
        std::cout << line << std::endl;
        shown_ = false;
    }
    void finish() {
        if (terminal_ && shown_) std::cout << std::endl;
        shown_ = false;
    }

private:
    bool terminal_;
    bool shown_ = false;
    std::string lastPhase_;
    std::chrono::steady_clock::time_point lastPrinted_{};
};

constexpr const char* keysHelp = "Type m + Enter to mark a trade, e + Enter to end it, q + Enter (or Ctrl-C) to stop.";

}  // namespace

int runRecordCommand(ClientContext& context, const std::vector<std::string>& arguments) {
    const auto options = recordOptions();
    const CommandLine commandLine(arguments, options, 1, 1);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl record SOURCE --out DIR [--fps N] [--segment-seconds S] [--buffer-seconds S]\n"
                     "                        [--mode rolling|on-trade] [--pre-roll S] [--post-roll S]\n\n"
                     "Records SOURCE (an id from `halvexctl sources`, or part of a window title or application "
                     "name) and shows a live status line. "
                  << keysHelp
                  << "\nStopping prints where the trade manifests are; `halvexctl export` turns one into a clip. "
                     "The helper's diagnostics go to DIR/helper.log unless --helper-log says otherwise.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    const auto out = commandLine.value("out");
    if (!out) throw UsageError("Say where the recording goes with --out DIR.");
    const std::string directory = std::filesystem::absolute(*out).lexically_normal().string();
    std::filesystem::create_directories(directory);

    RecordingOptions recording;
    recording.outputDirectory = directory;
    recording.fps = commandLine.number("fps", 30);
    recording.segmentSeconds = commandLine.number("segment-seconds", 10);
    recording.bufferSeconds = commandLine.number("buffer-seconds", 180);
    recording.recordMode = commandLine.value("mode", "rolling");
    recording.preRollSeconds = commandLine.number("pre-roll", 120);
    recording.postRollSeconds = commandLine.number("post-roll", 30);

    auto session = context.startHelper(commandLine, {}, directory + "/helper.log");
    recording.source = selectSource(commandLine.positionals().front(),
                                    sourceCatalogListingFromJSON(session->request("listSources")));
    StatusPrinter printer;
    RecordingSession capture(*session, recording);
    capture.onNotice = [&printer](const std::string& line) { printer.notice(line); };
    capture.start();
    const auto started = std::chrono::steady_clock::now();
    printer.notice("Recording " + recording.source.sourceType + ":" + recording.source.sourceId +
                   (recording.source.name.empty() ? "" : " (" + recording.source.name + ")") + " into " + directory +
                   ". " + keysHelp);

    bool inputOpen = true;
    std::string typed;
    int exitStatus = 0;
    const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    const auto runCommand = [&](const std::string& command) -> bool {
        try {
            if (command == "m") {
                const auto manifest = capture.markTrade();
                printer.notice("marked trade \"" + manifest.sessionId + "\": " + manifest.manifestPath);
            } else if (command == "e") {
                const auto manifest = capture.endTrade();
                printer.notice("ended trade \"" + manifest.sessionId + "\"; keeping the post-roll");
            } else if (command == "q") {
                return false;
            } else if (command == "s") {
                printer.notice(formatStatusLine(capture.status(), elapsed(), capture.openTrade()));
            } else if (!command.empty()) {
                printer.notice(keysHelp);
            }
        } catch (const HelperCommandError& error) {
            printer.notice(std::string("the helper refused: ") + error.what());
        } catch (const std::runtime_error& error) {
            if (dynamic_cast<const HelperGoneError*>(&error)) throw;
            printer.notice(error.what());
        }
        return true;
    };

    bool keepGoing = true;
    while (keepGoing) {
        capture.handleQueuedEvents();
        if (session->outputEnded()) break;
        printer.status(formatStatusLine(capture.status(), elapsed(), capture.openTrade()), capture.status().phase);
        pollfd fds[3] = {{session->descriptor(), POLLIN, 0},
                         {inputOpen ? STDIN_FILENO : -1, POLLIN, 0},
                         {InterruptSignals::descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, 500);
        if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
        if (InterruptSignals::received()) {
            InterruptSignals::acknowledge();
            printer.notice("Stopping (a second Ctrl-C ends at once)...");
            break;
        }
        if (inputOpen && fds[1].revents) {
            char chunk[1024];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                inputOpen = false;  // no more keys; record until Ctrl-C or SIGTERM
                continue;
            }
            typed.append(chunk, static_cast<std::size_t>(got));
            std::size_t newline;
            while (keepGoing && (newline = typed.find('\n')) != std::string::npos) {
                std::string command = typed.substr(0, newline);
                typed.erase(0, newline + 1);
                while (!command.empty() && std::isspace(static_cast<unsigned char>(command.back()))) command.pop_back();
                while (!command.empty() && std::isspace(static_cast<unsigned char>(command.front()))) command.erase(0, 1);
                keepGoing = runCommand(command);
            }
        }
    }

    if (session->outputEnded()) {
        printer.finish();
        const auto status = context.children.waitFor(session->process().pid(), 2);
        reportError("record", "the helper exited unexpectedly" +
                                  (status ? " with status " + std::to_string(*status) : std::string()) +
                                  "; see " + commandLine.value("helper-log", directory + "/helper.log") + ".");
        exitStatus = 1;
    } else {
        capture.stop();
        printer.finish();
        shutDownHelper(context, *session);
    }
    std::cout << "Manifests are in " << capture.manifestsDirectory() << (capture.manifestPaths().empty() ? " (no trade was marked)." : ":") << "\n";
    for (const auto& path : capture.manifestPaths()) std::cout << "  " << path << "\n";
    std::cout << "Segments are in " << directory << "/segments\n";
    return exitStatus;
}

}  // namespace halvex::client
