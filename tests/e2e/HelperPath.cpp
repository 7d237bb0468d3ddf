#include <cstdlib>

// Tells the shared launcher where the build put the helper, unless the environment already does.
namespace {
const bool helperPathSet = [] { return ::setenv("HALVEX_HELPER_PATH", HALVEX_HELPER_PATH, 0) == 0; }();
}
