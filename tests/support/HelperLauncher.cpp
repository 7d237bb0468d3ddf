#include "tests/support/HelperLauncher.h"

#include <cstdlib>

namespace halvex::testing {

std::string helperExecutablePath() {
    const char* path = std::getenv("HALVEX_HELPER_PATH");
    return path ? path : "";
}

std::unique_ptr<ChildProcess> launchHelper(const std::vector<std::string>& arguments,
                                           const std::map<std::string, std::string>& environment) {
    ChildProcess::Options options;
    options.arguments.push_back(helperExecutablePath());
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = environment;
    if (!environment.count("DISPLAY")) options.unsetEnvironment.push_back("DISPLAY");
    return std::make_unique<ChildProcess>(options);
}

}  // namespace halvex::testing
