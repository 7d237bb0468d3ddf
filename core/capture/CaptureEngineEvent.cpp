#include "core/capture/CaptureEngineEvent.h"

namespace halvex {
namespace {

nlohmann::json messageBody(const std::string& text) { return {{"message", text}}; }

struct MessageFor {
    CaptureEventMessage operator()(const captureevent::Status& e) const { return {"capture-status", toJSON(e.status)}; }
    CaptureEventMessage operator()(const captureevent::Preview& e) const { return {"capture-preview", toJSON(e.frame)}; }
    CaptureEventMessage operator()(const captureevent::SegmentFinalized& e) const {
        return {"segment-finalized", toJSON(e.segment)};
    }
    CaptureEventMessage operator()(const captureevent::TradeMarked& e) const {
        return {"trade-marked", toJSON(e.manifest)};
    }
    CaptureEventMessage operator()(const captureevent::TradeCompleted& e) const {
        return {"trade-completed", toJSON(e.manifest)};
    }
    CaptureEventMessage operator()(const captureevent::ChartWatcherStatusChanged& e) const {
        return {"chart-watcher-status", toJSON(e.status)};
    }
    CaptureEventMessage operator()(const captureevent::ChartPosition& e) const { return {"position", toJSON(e.position)}; }
    CaptureEventMessage operator()(const captureevent::ChartWatcherFailure& e) const {
        return {"chart-watcher-error", messageBody(e.message)};
    }
    CaptureEventMessage operator()(const captureevent::Failure& e) const {
        return {"capture-error", messageBody(e.message)};
    }
};

}  // namespace

CaptureEventMessage captureEventMessage(const CaptureEngineEvent& event) { return std::visit(MessageFor{}, event); }

}  // namespace halvex
