#pragma once

#include <optional>
#include <string>

namespace halvex {

// What the process must do so that Tesseract's OpenMP runtime runs one thread per recognition.
// Tesseract asks for several threads per line; on a shared machine that makes each line many times
// slower in wall time. libgomp reads OMP_THREAD_LIMIT once, when the library is loaded, so setting
// the variable later is too late once it is loaded.
enum class SingleThreadedOpenMPAction {
    none,                // the variable is set already (whatever its value: the user chose it)
    setVariable,         // the runtime is not loaded yet; it will read the variable when it loads
    setVariableAndReexec // the runtime has read its environment already; only a fresh image helps
};

SingleThreadedOpenMPAction singleThreadedOpenMPAction(const std::optional<std::string>& currentValue,
                                                      bool runtimeLoaded);

// Call first in main(), before any thread starts. When OMP_THREAD_LIMIT is missing, sets it to 1
// and, if libgomp is loaded already (it is when the executable links Tesseract), re-executes the
// process image (/proc/self/exe with the same argv and environment). Returns only when no
// re-execution was needed or the re-execution failed (logged); never changes the arguments.
void halvexEnsureSingleThreadedOpenMP(int argc, char** argv);

}  // namespace halvex
