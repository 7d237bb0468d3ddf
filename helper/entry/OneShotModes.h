#pragma once

#include <string>
#include <vector>

#include "helper/commands/HelperEnvironment.h"

namespace halvex {

// "--identity-file": writes the identity probe to an absolute path (compact JSON, sorted keys, no
// trailing line feed). A relative path or a failed write is silently ignored.
void writeIdentityProbe(const std::string& path, const HelperEnvironment& environment);

// "--request-screen-permission": there is no prompt on X11; writes the result to "--result-file"
// or logs it, and when capture is not possible logs what the user should check.
void runScreenPermissionRequestMode(const std::vector<std::string>& arguments, const HelperEnvironment& environment);

}  // namespace halvex
