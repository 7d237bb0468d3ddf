#pragma once

#include <nlohmann/json.hpp>

#include "core/capture/CaptureStatus.h"
#include "core/capture/StartCaptureConfiguration.h"
#include "core/capture/TradeManifest.h"
#include "core/capture/engine/CaptureEngine.h"
#include "helper/protocol/Payload.h"

namespace halvex {

// The result of "markTrade" and "endTrade".
struct TradeCommandResult {
    CaptureStatus status;
    TradeManifest manifest;

    bool operator==(const TradeCommandResult&) const = default;
};

nlohmann::json toJSON(const TradeCommandResult& result);

}  // namespace halvex

// The payload rules of the recording commands and what each asks of the running engine. The
// dispatcher owns the engine and has already checked that one runs (or, for "startCapture", that
// none does) before any of these reads the payload.
namespace halvex::CaptureCommands {

// "startCapture": `sourceType`, `sourceId`, `outputDirectory` (required texts), `bufferSeconds`
// (default 180), `segmentSeconds` (default 10), `fps` (default 30, rounded half away from zero),
// `recordMode` (default "rolling", strict), all read in that order; then the bounds 1…3600, 1…60
// and 1…60, in that order. The output directory comes back absolute and normalised (relative to
// the working directory). Throws invalidPayload with the first failure.
StartCaptureConfiguration startConfiguration(const Payload& payload);

// "diagnosticFrame": the newest preview as a ThumbnailResult with `sourceId` "capture"; fails with
// invalidPayload before the first preview.
nlohmann::json diagnosticFrame(CaptureEngine& engine);

// "setPreviewEnabled": `enabled` when it is a boolean, true for anything else or nothing. Answers
// {"enabled": flag}.
nlohmann::json setPreviewEnabled(CaptureEngine& engine, const Payload& payload);

// "markTrade": `sessionId` (required text), `occurredAt` (epoch seconds), `preRollSeconds`
// (default 120, not negative). Answers a TradeCommandResult.
nlohmann::json markTrade(CaptureEngine& engine, const Payload& payload);

// "endTrade": as "markTrade" with `postRollSeconds` (default 30, not negative).
nlohmann::json endTrade(CaptureEngine& engine, const Payload& payload);

// "releaseTrade": `sessionId` (required text). Answers {"released": whether the trade existed}.
nlohmann::json releaseTrade(CaptureEngine& engine, const Payload& payload);

}  // namespace halvex::CaptureCommands
