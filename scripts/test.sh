#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then builds and runs the suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer (HALVEX_SANITIZERS=0 skips that pass).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Counted first: nproc honours OMP_THREAD_LIMIT and would answer 1 once it is set.
jobs=$(nproc)
# The OpenMP build of Tesseract is several times slower on two cores unless limited to one thread.
export OMP_THREAD_LIMIT=1

"$root/scripts/build.sh" "$root/build"
(cd "$root/build" && ctest -j"$jobs" --output-on-failure --timeout 900)

if [ "${HALVEX_SANITIZERS:-1}" != "0" ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions="$root/scripts/sanitizers/lsan.supp"
  "$root/scripts/build.sh" "$root/build-sanitize" -DHALVEX_SANITIZE=address,undefined \
    -DHALVEX_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
  (cd "$root/build-sanitize" && ctest -j"$jobs" --output-on-failure --timeout 1800)
fi
