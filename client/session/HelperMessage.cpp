#include "client/session/HelperMessage.h"

namespace halvex::client {
namespace {

std::string textMember(const nlohmann::json& object, const char* key) {
    const auto member = object.find(key);
    if (member == object.end() || !member->is_string()) {
        throw std::invalid_argument(std::string("the key '") + key + "' is missing or not a string");
    }
    return member->get<std::string>();
}

}  // namespace

HelperMessage HelperMessage::decode(std::string_view line) {
    const auto json = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) throw std::invalid_argument("the line is not a JSON object");
    HelperMessage message;
    message.line = std::string(line);
    const std::string type = textMember(json, "type");
    if (const auto result = json.find("result"); result != json.end()) message.result = *result;
    if (type == "event") {
        message.kind = Kind::event;
        message.event = textMember(json, "event");
        return message;
    }
    if (type != "response") throw std::invalid_argument("the type '" + type + "' is neither a response nor an event");
    message.kind = Kind::response;
    message.id = textMember(json, "id");
    const auto ok = json.find("ok");
    if (ok == json.end() || !ok->is_boolean()) throw std::invalid_argument("the key 'ok' is missing or not a boolean");
    message.ok = ok->get<bool>();
    if (!message.ok) message.error = textMember(json, "error");
    return message;
}

}  // namespace halvex::client
