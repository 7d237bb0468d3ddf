#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace halvex {

// Any JSON value as a request payload carries it. Integers decode as numbers (64-bit floats).
struct JSONValue {
    using Object = std::map<std::string, JSONValue>;
    using Array = std::vector<JSONValue>;
    using Storage = std::variant<std::string, double, bool, Object, Array, std::nullptr_t>;

    Storage storage = nullptr;

    JSONValue() = default;
    JSONValue(std::string text) : storage(std::move(text)) {}
    JSONValue(const char* text) : storage(std::string(text)) {}
    JSONValue(double number) : storage(number) {}
    JSONValue(int number) : storage(static_cast<double>(number)) {}
    JSONValue(bool flag) : storage(flag) {}
    JSONValue(Object object) : storage(std::move(object)) {}
    JSONValue(Array array) : storage(std::move(array)) {}
    JSONValue(std::nullptr_t) : storage(nullptr) {}

    const std::string* string() const { return std::get_if<std::string>(&storage); }
    const double* number() const { return std::get_if<double>(&storage); }
    const bool* boolean() const { return std::get_if<bool>(&storage); }
    const Object* object() const { return std::get_if<Object>(&storage); }
    const Array* array() const { return std::get_if<Array>(&storage); }
    bool isNull() const { return std::holds_alternative<std::nullptr_t>(storage); }

    bool operator==(const JSONValue&) const = default;

    // Throws std::invalid_argument("Unsupported JSON value.") for a value that is none of the cases.
    static JSONValue fromJSON(const nlohmann::json& json);
    nlohmann::json toJSON() const;
};

}  // namespace halvex
