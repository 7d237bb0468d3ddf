#include "helper/protocol/JSONValue.h"

#include <stdexcept>

namespace halvex {

JSONValue JSONValue::fromJSON(const nlohmann::json& json) {
    switch (json.type()) {
    case nlohmann::json::value_t::null:
        return JSONValue(nullptr);
    case nlohmann::json::value_t::boolean:
        return JSONValue(json.get<bool>());
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return JSONValue(json.get<double>());
    case nlohmann::json::value_t::string:
        return JSONValue(json.get<std::string>());
    case nlohmann::json::value_t::object: {
        Object object;
        for (const auto& [key, member] : json.items()) object.emplace(key, fromJSON(member));
        return JSONValue(std::move(object));
    }
    case nlohmann::json::value_t::array: {
        Array array;
        array.reserve(json.size());
        for (const auto& element : json) array.push_back(fromJSON(element));
        return JSONValue(std::move(array));
    }
    default:
        throw std::invalid_argument("Unsupported JSON value.");
    }
}

nlohmann::json JSONValue::toJSON() const {
    return std::visit(
        [](const auto& value) -> nlohmann::json {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, Object>) {
                auto object = nlohmann::json::object();
                for (const auto& [key, member] : value) object[key] = member.toJSON();
                return object;
            } else if constexpr (std::is_same_v<T, Array>) {
                auto array = nlohmann::json::array();
                for (const auto& element : value) array.push_back(element.toJSON());
                return array;
            } else {
                return nlohmann::json(value);
            }
        },
        storage);
}

}  // namespace halvex
