#include "helper/entry/HalvexMacHelperMain.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "core/capture/ffmpeg/FFmpegSegmentEncoder.h"
#include "core/capture/x11/X11CaptureStreamFactory.h"
#include "core/support/NativeLog.h"
#include "core/sources/x11/X11SourcePlatform.h"
#include "core/support/x11/X11ScreenAccessProbe.h"
#include "helper/commands/IdentityCommands.h"
#include "helper/entry/ArgumentValue.h"
#include "helper/entry/HelperController.h"
#include "helper/entry/LineReader.h"
#include "helper/entry/OneShotModes.h"
#include "helper/protocol/Envelopes.h"
#include "helper/protocol/Payload.h"

namespace halvex::HalvexMacHelperMain {
namespace {

// Reads lines until end of input or "shutdown"; `skipBlank` drops lines that are empty once
// trimmed (the socket), otherwise every line goes to the dispatcher (standard input).
bool serve(LineReader& reader, HelperController& controller, bool skipBlank) {
    while (const auto line = reader.nextLine()) {
        if (skipBlank && trimmedWhitespace(*line).empty()) continue;
        if (controller.handle(*line)) return true;
    }
    return false;
}

}  // namespace

int runSocketMode(const SocketTransport::Options& options, const HelperEnvironment& environment) {
    int descriptor = -1;
    try {
        descriptor = SocketTransport::connect(options.path, SocketTransport::connectTimeoutSeconds);
    } catch (const std::exception& error) {
        halvexNativeLog("Could not connect to " + options.path + ": " + error.what());
        return 2;
    }
    const auto output = ProtocolOutput::create(descriptor);
    const auto controller = HelperController::create(output, environment);
    output->write(toJSON(EventEnvelope{"hello", toJSON(IdentityCommands::gatherHello(environment, options.token))}));
    const auto reader = LineReader::create(descriptor, LineReader::Decoding::socket);
    if (!serve(*reader, *controller, true)) {
        halvexNativeLog("Halvex closed the control socket; stopping capture.");
        controller->stopCaptureAtEndOfInput();
    }
    ::close(descriptor);
    return 0;
}

int runStdioMode(const HelperEnvironment& environment) {
    const auto output = ProtocolOutput::create(STDOUT_FILENO);
    const auto controller = HelperController::create(output, environment);
    const auto reader = LineReader::create(STDIN_FILENO, LineReader::Decoding::standardInput);
    if (!serve(*reader, *controller, false)) {
        halvexNativeLog("Standard input closed; stopping capture.");
        controller->stopCaptureAtEndOfInput();
    }
    return 0;
}

int main(const std::vector<std::string>& arguments) {
    // A write to a vanished peer must fail quietly, not kill the process before capture is stopped.
    std::signal(SIGPIPE, SIG_IGN);
    HelperEnvironment environment{std::make_shared<NativePermissions>(std::make_shared<x11::X11ScreenAccessProbe>()),
                                  arguments.empty() ? std::string() : arguments.front(),
                                  std::make_shared<SourceCatalog>(x11::X11SourcePlatform::create()),
                                  std::make_shared<x11::X11CaptureStreamFactory>(),
                                  ffmpeg::FFmpegSegmentEncoder::factory()};
    if (const auto identityFile = argumentValue("--identity-file", arguments)) {
        writeIdentityProbe(*identityFile, environment);
        return 0;
    }
    if (std::find(arguments.begin(), arguments.end(), "--request-screen-permission") != arguments.end()) {
        runScreenPermissionRequestMode(arguments, environment);
        return 0;
    }
    const auto socketPath = argumentValue("--socket", arguments);
    halvexSetLogFile(socketPath ? argumentValue("--log-file", arguments) : std::nullopt);
    if (socketPath) {
        return runSocketMode({*socketPath, argumentValue("--token", arguments).value_or("")}, environment);
    }
    return runStdioMode(environment);
}

}  // namespace halvex::HalvexMacHelperMain
