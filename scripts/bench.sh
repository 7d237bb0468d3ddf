#!/usr/bin/env bash
# Builds the Google Benchmark binaries in an optimised tree and runs them:
#   scripts/bench.sh                 every benchmark binary
#   scripts/bench.sh ProtocolBench   one of them; further arguments go to it
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
export OMP_THREAD_LIMIT=1
"$root/scripts/build.sh" "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DHALVEX_BUILD_TESTS=OFF >/dev/null
if [ $# -gt 0 ]; then
  name=$1
  shift
  exec "$root/build-bench/bench/$name" "$@"
fi
for binary in "$root"/build-bench/bench/*Bench; do
  echo "== $(basename "$binary")"
  "$binary"
done
