#include <cstdio>
#include <iostream>

#include "client/commands/Subcommands.h"
#include "client/export/ClipExporter.h"
#include "client/export/ffmpeg/FFmpegClipRemuxer.h"
#include "core/support/ISO8601.h"
#include "core/support/JSONEncoding.h"

namespace halvex::client {

int runExportCommand(ClientContext&, const std::vector<std::string>& arguments) {
    const std::vector<OptionSpec> options{{"output", true, "FILE", "the MP4 to write (required)"},
                                          {"json", false, "", "print what was written as one JSON object"}};
    const CommandLine commandLine(arguments, options, 1, 1);
    if (commandLine.helpRequested()) {
        std::cout << "Usage: halvexctl export MANIFEST -o CLIP.mp4 [--json]\n\nJoins the initialization and media "
                     "segments a trade manifest lists into one MP4 without re-encoding, showing the trade's window "
                     "[retainFrom, retainThrough]: the clip begins at the key frame before the window and hides the "
                     "frames before it with an edit list, and ends with the last frame inside it.\n\n"
                  << CommandLine::describe(options);
        return 0;
    }
    const auto output = commandLine.value("output");
    if (!output) throw UsageError("Say where the clip goes with -o FILE.mp4.");
    const ClipExporter exporter(std::make_shared<ffmpeg::FFmpegClipRemuxer>());
    const auto result = exporter.exportClip(commandLine.positionals().front(), *output);
    if (commandLine.flag("json")) {
        nlohmann::json summary{{"clip", result.outputPath},
                               {"manifest", result.manifest.manifestPath},
                               {"sessionId", result.manifest.sessionId},
                               {"durationSeconds", result.written.durationSeconds},
                               {"frameCount", result.written.frameCount},
                               {"byteCount", result.written.byteCount},
                               {"segmentCount", result.plan.segments.size()},
                               {"presentationStart", result.plan.presentationStart},
                               {"presentationEnd", result.plan.presentationEnd},
                               {"endsEarly", result.plan.endsEarly}};
        std::cout << halvexEncodeCompact(summary) << std::endl;
        return 0;
    }
    if (result.plan.endsEarly) {
        std::cerr << "halvexctl export: the trade is \"" << rawValue(result.manifest.status)
                  << "\"; the clip ends with the last recorded segment.\n";
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.2f", result.written.durationSeconds);
    std::cout << "Wrote " << result.outputPath << ": " << duration << " s, " << result.written.frameCount << " frames, "
              << result.written.byteCount << " bytes, from " << result.plan.segments.size() << " segments of trade \""
              << result.manifest.sessionId << "\" (" << halvexISO8601String(result.plan.presentationStart) << " to "
              << halvexISO8601String(result.plan.presentationEnd) << ").\n";
    return 0;
}

}  // namespace halvex::client
