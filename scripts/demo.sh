#!/usr/bin/env bash
# The helper's main job, end to end: installs what is missing, builds the helper, the client
# (halvexctl) and the demo chart window, then records a trade and exports its clip:
#
#   scripts/demo.sh                    # no DISPLAY: a private Xvfb and the demo chart window
#   scripts/demo.sh --window "Chart"   # with a display: record a window you name (id or title)
#   scripts/demo.sh --virtual-display  # use a private Xvfb even though DISPLAY is set
#
# It records in rolling mode with 1 s segments and a 30 s buffer, marks a trade once two segments
# exist, ends it 3 s later, waits for "trade-completed", and writes the clip under demo-output/.
# Every process it starts (Xvfb, the chart window, the helper) is ended when it finishes or is
# interrupted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
HALVEX_TARGETS="HalvexMacHelper halvexctl halvex-demo-window" "$root/scripts/build.sh" "$root/build" >/dev/null

output="$root/demo-output"
mkdir -p "$output"
exec "$root/build/client/halvexctl" demo --out "$output" "$@"
