#include "core/chart/records/ChartGeometry.h"

#include "core/support/StrictJSONFields.h"

namespace halvex {

using namespace strictjson;

nlohmann::json toJSON(const ChartNormalizedRect& rect) {
    return {{"x", rect.x}, {"y", rect.y}, {"width", rect.width}, {"height", rect.height}};
}

ChartNormalizedRect chartNormalizedRectFromJSON(const nlohmann::json& json) {
    return {requiredDouble(json, "x"), requiredDouble(json, "y"), requiredDouble(json, "width"),
            requiredDouble(json, "height")};
}

nlohmann::json toJSON(const ChartPane& pane) {
    return {{"index", pane.index}, {"count", pane.count}, {"minX", pane.minX}, {"maxX", pane.maxX}};
}

ChartPane chartPaneFromJSON(const nlohmann::json& json) {
    return {requiredInteger(json, "index"), requiredInteger(json, "count"), requiredDouble(json, "minX"),
            requiredDouble(json, "maxX")};
}

}  // namespace halvex
