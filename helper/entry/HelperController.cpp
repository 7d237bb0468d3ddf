#include "helper/entry/HelperController.h"

#include "core/capture/CaptureStatus.h"
#include "core/support/HalvexNativeError.h"
#include "helper/commands/CaptureCommands.h"
#include "helper/commands/IdentityCommands.h"
#include "helper/commands/SourceCommands.h"
#include "helper/protocol/Envelopes.h"

namespace halvex {
namespace {

constexpr const char* captureUnavailableMessage = "Screen recording is not available in this build.";

}  // namespace

std::shared_ptr<HelperController> HelperController::create(std::shared_ptr<ProtocolOutput> output,
                                                           HelperEnvironment environment) {
    return std::shared_ptr<HelperController>(new HelperController(std::move(output), std::move(environment)));
}

bool HelperController::handle(std::string_view line) {
    HelperRequest request;
    try {
        request = HelperRequest::decode(line);
    } catch (const RequestDecodingError& error) {
        const std::string message = std::string("Malformed request: ") + error.what();
        if (const auto id = recoverRequestID(line)) {
            output_->write(toJSON(ErrorEnvelope{*id, message}));
        } else {
            output_->write(toJSON(EventEnvelope{"protocol-error", toJSON(ProtocolErrorResult{message})}));
        }
        return false;
    }
    try {
        return execute(request);
    } catch (const std::exception& error) {
        output_->write(toJSON(ErrorEnvelope{request.id, error.what()}));
    } catch (...) {
        output_->write(toJSON(ErrorEnvelope{request.id, "unknown error"}));
    }
    return false;
}

const std::map<std::string, HelperController::Route>& HelperController::routes() {
    using C = CaptureRequirement;
    static const std::map<std::string, Route> table{
        {"ping", {C::none, &HelperController::runPing}},
        {"permissions", {C::none, &HelperController::runPermissions}},
        {"requestScreenPermission", {C::none, &HelperController::runRequestScreenPermission}},
        {"identity", {C::none, &HelperController::runIdentity}},
        {"listSources", {C::none, &HelperController::runListSources}},
        {"sourceThumbnail", {C::none, &HelperController::runSourceThumbnail}},
        {"diagnosticFrame", {C::needsCapture, &HelperController::runDiagnosticFrame}},
        {"setPreviewEnabled", {C::needsCapture, &HelperController::runSetPreviewEnabled}},
        {"startCapture", {C::mustNotRun, &HelperController::runStartCapture}},
        {"markTrade", {C::needsCapture, &HelperController::runMarkTrade}},
        {"endTrade", {C::needsCapture, &HelperController::runEndTrade}},
        {"releaseTrade", {C::needsCapture, &HelperController::runReleaseTrade}},
        {"stopCapture", {C::none, &HelperController::runStopCapture}},
        {"shutdown", {C::none, &HelperController::runShutdown}},
        {"analyzeImage", {C::none, &HelperController::runUnavailable}},
        {"diagnoseFrame", {C::none, &HelperController::runUnavailable}},
        {"startChartWatcher", {C::needsCapture, &HelperController::runUnavailable}},
        {"chartWatcherStatus", {C::none, &HelperController::runUnavailable}},
        {"chartWatcherDiagnostics", {C::none, &HelperController::runUnavailable}},
        {"stopChartWatcher", {C::none, &HelperController::runUnavailable}},
        {"watcherStability", {C::needsCapture, &HelperController::runUnavailable}},
    };
    return table;
}

bool HelperController::execute(const HelperRequest& request) {
    const auto route = routes().find(request.command);
    if (route == routes().end()) throw HalvexNativeError::invalidPayload("Unknown command '" + request.command + "'.");
    if (route->second.capture == CaptureRequirement::needsCapture) requireCapture();
    if (route->second.capture == CaptureRequirement::mustNotRun && engine_) {
        throw HalvexNativeError::captureAlreadyRunning();
    }
    return (this->*route->second.handler)(request);
}

bool HelperController::runPing(const HelperRequest& request) {
    respond(request.id, IdentityCommands::ping());
    return false;
}

bool HelperController::runPermissions(const HelperRequest& request) {
    respond(request.id, IdentityCommands::permissions(environment_));
    return false;
}

bool HelperController::runRequestScreenPermission(const HelperRequest& request) {
    respond(request.id, IdentityCommands::requestScreenPermission(environment_));
    return false;
}

bool HelperController::runIdentity(const HelperRequest& request) {
    respond(request.id, IdentityCommands::identity(environment_));
    return false;
}

bool HelperController::runStopCapture(const HelperRequest& request) {
    respond(request.id, toJSON(stopCapture()));
    return false;
}

bool HelperController::runShutdown(const HelperRequest& request) {
    respond(request.id, toJSON(stopCapture()));
    return true;
}

CaptureStatus HelperController::stopCapture() {
    if (!engine_) return CaptureStatus::idle();
    // Taken out first: an engine that has been told to stop is never used again.
    const auto engine = std::exchange(engine_, nullptr);
    return engine->stop();
}

bool HelperController::runStartCapture(const HelperRequest& request) {
    const auto configuration = CaptureCommands::startConfiguration(request.payload);
    respond(request.id, toJSON(startCapture(configuration)));
    return false;
}

CaptureStatus HelperController::startCapture(const StartCaptureConfiguration& configuration) {
    if (!environment_.sources) throw HalvexNativeError::invalidPayload(captureUnavailableMessage);
    const auto resolved = environment_.sources->resolve(configuration.sourceType, configuration.sourceID);
    if (!environment_.captureStreams || !environment_.segmentEncoders) {
        throw HalvexNativeError::invalidPayload(captureUnavailableMessage);
    }
    CaptureEngineDependencies dependencies;
    dependencies.streamFactory = environment_.captureStreams;
    dependencies.encoderFactory = environment_.segmentEncoders;
    // Events that arrive after the controller is gone are dropped.
    std::weak_ptr<HelperController> weakSelf = weak_from_this();
    auto engine = CaptureEngine::create(
        resolved, configuration,
        [weakSelf](const CaptureEngineEvent& event) {
            if (const auto self = weakSelf.lock()) self->emit(event);
        },
        std::move(dependencies));
    engine_ = engine;
    try {
        return engine->start();
    } catch (...) {
        engine_.reset();
        throw;
    }
}

bool HelperController::runDiagnosticFrame(const HelperRequest& request) {
    respond(request.id, CaptureCommands::diagnosticFrame(*engine_));
    return false;
}

bool HelperController::runSetPreviewEnabled(const HelperRequest& request) {
    respond(request.id, CaptureCommands::setPreviewEnabled(*engine_, request.payload));
    return false;
}

bool HelperController::runMarkTrade(const HelperRequest& request) {
    respond(request.id, CaptureCommands::markTrade(*engine_, request.payload));
    return false;
}

bool HelperController::runEndTrade(const HelperRequest& request) {
    respond(request.id, CaptureCommands::endTrade(*engine_, request.payload));
    return false;
}

bool HelperController::runReleaseTrade(const HelperRequest& request) {
    respond(request.id, CaptureCommands::releaseTrade(*engine_, request.payload));
    return false;
}

void HelperController::emit(const CaptureEngineEvent& event) {
    auto message = captureEventMessage(event);
    output_->write(toJSON(EventEnvelope{std::move(message.event), std::move(message.result)}));
}

bool HelperController::runListSources(const HelperRequest& request) {
    respond(request.id, SourceCommands::listSources(environment_));
    return false;
}

bool HelperController::runSourceThumbnail(const HelperRequest& request) {
    respond(request.id, SourceCommands::sourceThumbnail(environment_, request.payload));
    return false;
}

bool HelperController::runUnavailable(const HelperRequest& request) {
    throw HalvexNativeError::invalidPayload("The command '" + request.command + "' is not available in this build.");
}

void HelperController::stopCaptureAtEndOfInput() { stopCapture(); }

void HelperController::respond(const std::string& id, nlohmann::json result) {
    output_->write(toJSON(SuccessEnvelope{id, std::move(result)}));
}

void HelperController::requireCapture() const {
    if (!engine_) throw HalvexNativeError::captureNotRunning();
}

}  // namespace halvex
