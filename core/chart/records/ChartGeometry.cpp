#include "core/chart/records/ChartGeometry.h"

namespace halvex {

nlohmann::json toJSON(const ChartNormalizedRect& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

ChartNormalizedRect chartNormalizedRectFromJSON(const nlohmann::json& json) {
    return {json.at("x").get<double>(), json.at("y").get<double>(), json.at("width").get<double>(),
            json.at("height").get<double>()};
}

nlohmann::json toJSON(const ChartPane& pane) {
    return {{"index", pane.index}, {"count", pane.count}, {"minX", pane.minX}, {"maxX", pane.maxX}};
}

ChartPane chartPaneFromJSON(const nlohmann::json& json) {
    return {json.at("index").get<std::int64_t>(), json.at("count").get<std::int64_t>(), json.at("minX").get<double>(),
            json.at("maxX").get<double>()};
}

}  // namespace halvex
