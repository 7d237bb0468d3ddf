#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>

#include "client/commands/RecordingSession.h"
#include "client/commands/Subcommands.h"
#include "client/export/ClipExporter.h"
#include "client/export/ffmpeg/FFmpegClipRemuxer.h"
#include "client/session/VirtualDisplay.h"
#include "core/sources/SourceCatalogListing.h"
#include "core/support/JSONEncoding.h"

namespace halvex::client {
namespace {

std::vector<OptionSpec> demoOptions() {
    std::vector<OptionSpec> options{
        {"out", true, "DIR", "where the recording and the clip go (default: demo-output)"},
        {"window", true, "SOURCE", "record this window (id or part of its title) instead of the demo chart"},
        {"virtual-display", false, "", "use a private Xvfb even when DISPLAY is set"},
        {"trade-seconds", true, "S", "time between the mark and the end of the trade (default 3)"},
        {"json", false, "", "print what was written as one JSON object"},
    };
    const auto& shared = ClientContext::helperOptions();
    options.insert(options.end(), shared.begin(), shared.end());
    return options;
}

// Handles events until `done` holds; false when `seconds` pass first.
bool waitFor(HelperSession& session, RecordingSession& capture, double seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (const auto event = session.nextEvent(left)) capture.handle(*event);
    }
    return true;
}

}  // namespace

int runDemoCommand(ClientContext& context, const std::vector<std::string>& arguments) {
    const auto options = demoOptions();
    const CommandLine commandLine(arguments, options, 0, 0);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl demo [--out DIR] [--window SOURCE] [--virtual-display] [--trade-seconds S]\n\n"
                     "The helper's main job end to end: starts a private Xvfb when there is no display (or with "
                     "--virtual-display) and the animated demo chart, records it in rolling mode (1 s segments, a "
                     "30 s buffer), marks a trade once two segments exist, ends it, waits for \"trade-completed\", "
                     "stops, and exports the trade's clip to DIR/clips/. Every process it started is ended when it "
                     "finishes or is interrupted.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    const std::string directory =
        std::filesystem::absolute(commandLine.value("out", "demo-output")).lexically_normal().string();
    std::filesystem::create_directories(directory);
    const double tradeSeconds = commandLine.number("trade-seconds", 3);
    const bool json = commandLine.flag("json");
    const auto say = [json](const std::string& line) {
        if (!json) std::cout << line << std::endl;
    };

    std::string display;
    if (const char* current = std::getenv("DISPLAY"); current && *current && !commandLine.flag("virtual-display")) {
        display = current;
    } else {
        const auto xvfb = VirtualDisplay::start(context.children);
        display = xvfb.display();
        say("Started a virtual display " + display + " (Xvfb pid " + std::to_string(xvfb.pid()) + ").");
    }
    std::string sourceText;
    if (const auto window = commandLine.value("window")) {
        sourceText = *window;
    } else {
        const auto chart = DemoWindow::start(context.children, DemoWindow::defaultExecutable(), display,
                                             "Halvex demo chart", 1280, 720);
        sourceText = "window:" + chart.windowId;
        say("Started the demo chart window " + chart.windowId + " (pid " + std::to_string(chart.pid) + ").");
    }

    auto session = context.startHelper(commandLine, {{"DISPLAY", display}}, directory + "/helper.log");
    say("Started the helper (pid " + std::to_string(session->process().pid()) + "); its log is " +
        commandLine.value("helper-log", directory + "/helper.log") + ".");
    RecordingOptions recording;
    recording.source = selectSource(sourceText, sourceCatalogListingFromJSON(session->request("listSources")));
    recording.outputDirectory = directory;
    recording.fps = 30;
    recording.segmentSeconds = 1;
    recording.bufferSeconds = 30;
    recording.preRollSeconds = 2;
    recording.postRollSeconds = 1;
    RecordingSession capture(*session, recording);
    capture.onNotice = say;
    capture.start();
    say("Recording " + sourceText + " in rolling mode, 1 s segments.");

    if (!waitFor(*session, capture, 30, [&] { return capture.segmentsFinalized() >= 2; })) {
        throw std::runtime_error("No segment was finished within 30 seconds; see " + directory + "/helper.log.");
    }
    const auto marked = capture.markTrade();
    say("Marked trade \"" + marked.sessionId + "\".");
    waitFor(*session, capture, tradeSeconds, [] { return false; });
    capture.endTrade();
    say("Ended it; waiting for \"trade-completed\".");
    if (!waitFor(*session, capture, 30, [&] { return !capture.completedTrades().empty(); })) {
        throw std::runtime_error("The trade did not complete within 30 seconds of its end.");
    }
    capture.stop();
    shutDownHelper(context, *session);
    session.reset();
    context.children.endAll();

    const auto& trade = capture.completedTrades().front();
    const std::string clip = directory + "/clips/" + std::filesystem::path(trade.manifestPath).stem().string() + ".mp4";
    const ClipExporter exporter(std::make_shared<ffmpeg::FFmpegClipRemuxer>());
    const auto result = exporter.exportClip(trade.manifestPath, clip);
    if (json) {
        std::cout << halvexEncodeCompact(nlohmann::json{{"manifest", trade.manifestPath},
                                                        {"clip", result.outputPath},
                                                        {"durationSeconds", result.written.durationSeconds},
                                                        {"byteCount", result.written.byteCount},
                                                        {"frameCount", result.written.frameCount},
                                                        {"retainFrom", trade.retainFrom},
                                                        {"retainThrough", trade.retainThrough.value_or(0)},
                                                        {"segmentCount", result.plan.segments.size()}})
                  << std::endl;
        return 0;
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f s", result.written.durationSeconds);
    std::cout << "\nWrote:\n  manifest  " << trade.manifestPath << "\n  clip      " << result.outputPath
              << "\n  duration  " << duration << " (" << result.written.frameCount << " frames from "
              << result.plan.segments.size() << " segments)\n  size      " << result.written.byteCount << " bytes\n";
    return 0;
}

}  // namespace halvex::client
