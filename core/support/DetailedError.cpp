#include "core/support/DetailedError.h"

#include <system_error>
#include <vector>

#include "core/support/HalvexNativeError.h"
#include "core/support/PlatformError.h"

namespace halvex {
namespace {

std::string join(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += " | ";
        text += part;
    }
    return text;
}

}  // namespace

std::string halvexDetailedError(const std::exception& error) {
    if (const auto* platform = dynamic_cast<const PlatformError*>(&error)) {
        std::vector<std::string> parts{platform->domain() + " " + std::to_string(platform->code()) + ": " +
                                       platform->description()};
        if (platform->reason()) parts.push_back("reason=" + *platform->reason());
        if (platform->recovery()) parts.push_back("recovery=" + *platform->recovery());
        for (const auto& [key, value] : platform->fields()) parts.push_back(key + "=" + value);
        if (platform->underlying()) parts.push_back("underlying=[" + halvexDetailedError(platform->underlying()) + "]");
        return join(parts);
    }
    if (const auto* native = dynamic_cast<const HalvexNativeError*>(&error)) {
        return "HalvexNativeError " + std::to_string(static_cast<int>(native->kind())) + ": " + native->description();
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        return std::string(system->code().category().name()) + " " + std::to_string(system->code().value()) + ": " +
               system->what();
    }
    return std::string("exception 0: ") + error.what();
}

std::string halvexDetailedError(std::exception_ptr error) {
    if (!error) return "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        return halvexDetailedError(caught);
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace halvex
