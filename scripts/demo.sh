#!/usr/bin/env bash
# The helper's main job on an embedded default: installs what is missing, builds the helper, and
# drives it over standard streams with a short scripted conversation. When no X display is set it
# starts a private virtual display (Xvfb) for the run and stops it afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
HALVEX_TARGETS=HalvexMacHelper "$root/scripts/build.sh" "$root/build" >/dev/null
helper="$root/build/helper/HalvexMacHelper"

xvfb_pid=
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null; true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  exec {display_fd}<> <(:)
  Xvfb -displayfd "$display_fd" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 10 number <&"$display_fd"
  export DISPLAY=":$number"
  echo "Started a virtual X display $DISPLAY (Xvfb pid $xvfb_pid)."
fi

requests='{"id":"1","command":"ping"}
{"id":"2","command":"identity"}
{"id":"3","command":"permissions"}
{"id":"4","command":"listSources"}'
echo "Requests:"
echo "$requests"
echo "Answers:"
echo "$requests" | "$helper"
