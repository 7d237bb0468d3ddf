#include "core/chart/tradingview/tesseract/SingleThreadedOpenMP.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/support/NativeLog.h"

namespace halvex {

namespace {

constexpr const char* kVariable = "OMP_THREAD_LIMIT";

}  // namespace

SingleThreadedOpenMPAction singleThreadedOpenMPAction(const std::optional<std::string>& currentValue,
                                                      bool runtimeLoaded) {
    if (currentValue) return SingleThreadedOpenMPAction::none;
    return runtimeLoaded ? SingleThreadedOpenMPAction::setVariableAndReexec : SingleThreadedOpenMPAction::setVariable;
}

void halvexEnsureSingleThreadedOpenMP(int argc, char** argv) {
    const char* current = std::getenv(kVariable);
    // Any symbol of libgomp tells whether it is mapped (and so has parsed its environment).
    const bool loaded = dlsym(RTLD_DEFAULT, "omp_get_thread_limit") != nullptr;
    const SingleThreadedOpenMPAction action =
        singleThreadedOpenMPAction(current ? std::optional<std::string>(current) : std::nullopt, loaded);
    if (action == SingleThreadedOpenMPAction::none) return;
    setenv(kVariable, "1", 1);
    if (action == SingleThreadedOpenMPAction::setVariable || argc < 1 || argv == nullptr) return;
    execv("/proc/self/exe", argv);
    halvexNativeLog(std::string("Could not restart with OMP_THREAD_LIMIT=1 (") + std::strerror(errno) +
                    "); text recognition will run slower.");
}

}  // namespace halvex
