#include "helper/entry/HelperController.h"

#include "core/capture/CaptureStatus.h"
#include "core/support/HalvexNativeError.h"
#include "helper/commands/IdentityCommands.h"
#include "helper/commands/SourceCommands.h"
#include "helper/protocol/Envelopes.h"

namespace halvex {
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
        {"diagnosticFrame", {C::needsCapture, &HelperController::runUnavailable}},
        {"setPreviewEnabled", {C::needsCapture, &HelperController::runUnavailable}},
        {"startCapture", {C::mustNotRun, &HelperController::runUnavailable}},
        {"markTrade", {C::needsCapture, &HelperController::runUnavailable}},
        {"endTrade", {C::needsCapture, &HelperController::runUnavailable}},
        {"releaseTrade", {C::needsCapture, &HelperController::runUnavailable}},
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

CaptureStatus HelperController::stopCapture() { return CaptureStatus::idle(); }

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

void HelperController::requireCapture() const { throw HalvexNativeError::captureNotRunning(); }

}  // namespace halvex
