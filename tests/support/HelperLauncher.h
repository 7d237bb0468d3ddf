#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace halvex::testing {

// The built helper's path, compiled into the end-to-end tests.
std::string helperExecutablePath();

// Starts the helper with `arguments` (after the program name); DISPLAY is left out unless given.
std::unique_ptr<ChildProcess> launchHelper(const std::vector<std::string>& arguments,
                                           const std::map<std::string, std::string>& environment = {});

}  // namespace halvex::testing
