#pragma once

#include <memory>
#include <string>

#include "core/support/NativePermissions.h"

namespace halvex {

// What the dispatcher's commands need from the process around them; tests pass fakes.
struct HelperEnvironment {
    std::shared_ptr<NativePermissions> permissions;
    // The first command-line argument: the executable path's fallback.
    std::string firstArgument;
};

}  // namespace halvex
