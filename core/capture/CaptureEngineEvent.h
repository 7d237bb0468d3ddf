#pragma once

#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "core/capture/CapturePreviewFrame.h"
#include "core/capture/CaptureStatus.h"
#include "core/capture/SegmentRecord.h"
#include "core/capture/TradeManifest.h"
#include "core/chart/records/ChartPositionEvent.h"
#include "core/chart/records/ChartWatcherStatus.h"

namespace halvex {

// The cases of CaptureEngineEvent, one payload each.
namespace captureevent {

struct Status {
    CaptureStatus status;
    bool operator==(const Status&) const = default;
};
struct Preview {
    CapturePreviewFrame frame;
    bool operator==(const Preview&) const = default;
};
struct SegmentFinalized {
    SegmentRecord segment;
    bool operator==(const SegmentFinalized&) const = default;
};
// A trade was marked, or ended without completing yet.
struct TradeMarked {
    TradeManifest manifest;
    bool operator==(const TradeMarked&) const = default;
};
struct TradeCompleted {
    TradeManifest manifest;
    bool operator==(const TradeCompleted&) const = default;
};
struct ChartWatcherStatusChanged {
    ChartWatcherStatus status;
    bool operator==(const ChartWatcherStatusChanged&) const = default;
};
struct ChartPosition {
    ChartPositionEvent position;
    bool operator==(const ChartPosition&) const = default;
};
struct ChartWatcherFailure {
    std::string message;
    bool operator==(const ChartWatcherFailure&) const = default;
};
// Any capture-side problem: stall, stream stop, restart failure, writer fault, manifest failure.
struct Failure {
    std::string message;
    bool operator==(const Failure&) const = default;
};

}  // namespace captureevent

// Every report of the capture engine, as it reaches the event sink.
using CaptureEngineEvent =
    std::variant<captureevent::Status, captureevent::Preview, captureevent::SegmentFinalized,
                 captureevent::TradeMarked, captureevent::TradeCompleted, captureevent::ChartWatcherStatusChanged,
                 captureevent::ChartPosition, captureevent::ChartWatcherFailure, captureevent::Failure>;

// An event as the control channel carries it: the event line's name and its result body.
struct CaptureEventMessage {
    std::string event;
    nlohmann::json result;

    bool operator==(const CaptureEventMessage&) const = default;
};

// The one mapping from engine events to event lines ("capture-status", "trade-completed", …);
// the two failure cases carry {"message": text}.
CaptureEventMessage captureEventMessage(const CaptureEngineEvent& event);

}  // namespace halvex
