#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/capture/CaptureEngineEvent.h"
#include "core/capture/CaptureStatus.h"
#include "core/capture/StartCaptureConfiguration.h"
#include "core/capture/engine/CaptureEngine.h"
#include "helper/commands/HelperEnvironment.h"
#include "helper/entry/ProtocolOutput.h"
#include "helper/protocol/HelperRequest.h"

namespace halvex {

// The command dispatcher of one channel: decodes each line, routes the command, runs it and writes
// exactly one response per decodable request. Runs on the request loop's thread, one line at a time.
class HelperController : public std::enable_shared_from_this<HelperController> {
public:
    static std::shared_ptr<HelperController> create(std::shared_ptr<ProtocolOutput> output,
                                                    HelperEnvironment environment);

    // Handles one request line; true when the request loop must end ("shutdown"). Never throws:
    // every failure is answered with an envelope.
    bool handle(std::string_view line);

    // Runs a decoded request and writes its success envelope; throws the command's failure.
    bool execute(const HelperRequest& request);

    // Stops the running capture, if any, when the channel reaches end of input.
    void stopCaptureAtEndOfInput();

    // The running engine's event sink: writes the event line at once. Safe from any thread.
    void emit(const CaptureEngineEvent& event);

    const HelperEnvironment& environment() const { return environment_; }

private:
    HelperController(std::shared_ptr<ProtocolOutput> output, HelperEnvironment environment)
        : output_(std::move(output)), environment_(std::move(environment)) {}

    using Handler = bool (HelperController::*)(const HelperRequest&);
    enum class CaptureRequirement { none, needsCapture, mustNotRun };
    struct Route {
        CaptureRequirement capture;
        Handler handler;
    };
    // Every command the helper knows, with its capture test and its handler.
    static const std::map<std::string, Route>& routes();

    bool runPing(const HelperRequest& request);
    bool runPermissions(const HelperRequest& request);
    bool runRequestScreenPermission(const HelperRequest& request);
    bool runIdentity(const HelperRequest& request);
    bool runStopCapture(const HelperRequest& request);
    bool runShutdown(const HelperRequest& request);
    bool runListSources(const HelperRequest& request);
    bool runSourceThumbnail(const HelperRequest& request);
    bool runStartCapture(const HelperRequest& request);
    bool runDiagnosticFrame(const HelperRequest& request);
    bool runSetPreviewEnabled(const HelperRequest& request);
    bool runMarkTrade(const HelperRequest& request);
    bool runEndTrade(const HelperRequest& request);
    bool runReleaseTrade(const HelperRequest& request);
    bool runUnavailable(const HelperRequest& request);
    // Resolves the source, creates the engine, stores it and starts it; a failed start clears it
    // again, so a failed "startCapture" leaves no engine.
    CaptureStatus startCapture(const StartCaptureConfiguration& configuration);
    // Stops the running capture, if any, and returns its final status (idle without capture).
    CaptureStatus stopCapture();

    void respond(const std::string& id, nlohmann::json result);
    // Fails with "No capture session is running." while no capture runs; called before a
    // capture-needing command reads its payload.
    void requireCapture() const;

    std::shared_ptr<ProtocolOutput> output_;
    HelperEnvironment environment_;
    // The running capture; touched only on the request loop's thread.
    std::shared_ptr<CaptureEngine> engine_;
};

}  // namespace halvex
