#!/usr/bin/env bash
# Configures and builds into a build directory: build.sh [DIR [extra cmake arguments...]].
# Extra ninja targets may be given with HALVEX_TARGETS="a b".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build"}
shift || true
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086
ninja -C "$dir" ${HALVEX_TARGETS:-}
