#include "helper/protocol/HelperRequest.h"

namespace halvex {
namespace {

std::string requiredText(const nlohmann::json& object, const char* key) {
    const auto member = object.find(key);
    if (member == object.end()) throw RequestDecodingError(std::string("The key '") + key + "' is missing.");
    if (!member->is_string()) throw RequestDecodingError(std::string("The key '") + key + "' must be a string.");
    return member->get<std::string>();
}

}  // namespace

HelperRequest HelperRequest::decode(std::string_view line) {
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(line.begin(), line.end());
    } catch (const nlohmann::json::exception& error) {
        throw RequestDecodingError(std::string("The line is not valid JSON (") + error.what() + ").");
    }
    if (!json.is_object()) throw RequestDecodingError("The line is not a JSON object.");
    HelperRequest request;
    request.id = requiredText(json, "id");
    request.command = requiredText(json, "command");
    if (const auto payload = json.find("payload"); payload != json.end() && !payload->is_null()) {
        if (!payload->is_object()) throw RequestDecodingError("The key 'payload' must be an object or null.");
        try {
            for (const auto& [key, member] : payload->items()) request.payload.values.emplace(key, JSONValue::fromJSON(member));
        } catch (const std::invalid_argument& error) {
            throw RequestDecodingError(error.what());
        }
    }
    return request;
}

nlohmann::json toJSON(const HelperRequest& request) {
    nlohmann::json json{{"id", request.id}, {"command", request.command}};
    if (!request.payload.values.empty()) json["payload"] = JSONValue(request.payload.values).toJSON();
    return json;
}

std::optional<std::string> recoverRequestID(std::string_view line) {
    const auto json = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    const auto id = json.find("id");
    if (id == json.end() || !id->is_string()) return std::nullopt;
    return id->get<std::string>();
}

}  // namespace halvex
