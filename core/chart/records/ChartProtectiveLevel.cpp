#include "core/chart/records/ChartProtectiveLevel.h"

#include "core/support/StrictJSONFields.h"
#include "core/support/JSONEncoding.h"

namespace halvex {

using namespace strictjson;

nlohmann::json toJSON(const ChartProtectiveLevel& level) {
    nlohmann::json json = {{"value", level.value}, {"unit", level.unit}};
    halvexSetOptional(json, "text", level.text);
    halvexSetOptional(json, "price", level.price);
    return json;
}

ChartProtectiveLevel chartProtectiveLevelFromJSON(const nlohmann::json& json) {
    return {requiredDouble(json, "value"), requiredString(json, "unit"), optionalString(json, "text"),
            optionalDouble(json, "price")};
}

}  // namespace halvex
