#!/usr/bin/env bash
# Measures one recording: a private Xvfb (1920x1080), the animated demo window filling it, and the
# helper recording that window at 30 fps for 60 s into a temporary folder. Prints the final
# status's framesCaptured, framesDropped and measuredFps, the helper's CPU use over the recording
# (user + system time from /proc/<pid>/stat, as a share of one core) and the machine's core count.
#
#   scripts/measure-recording.sh [build-dir] [seconds] [fps]
#
# The build directory must hold a built HalvexMacHelper and halvex-demo-window (default: build).
# Everything started here is stopped by its pid when the script ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${2:-60}
fps=${3:-30}
helper="$build/helper/HalvexMacHelper"
demo="$build/tools/demo-window/halvex-demo-window"
for program in "$helper" "$demo"; do
  [ -x "$program" ] || { echo "missing $program: build it first" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid= demo_pid= helper_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  for pid in $helper_pid $demo_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 10 number <&"$display_fd"
export DISPLAY=":$number"

"$demo" --width 1920 --height 1080 --fps "$fps" >"$work/demo.out" 2>/dev/null &
demo_pid=$!
for _ in $(seq 100); do [ -s "$work/demo.out" ] && break; sleep 0.1; done
window=$(head -n1 "$work/demo.out")
[ -n "$window" ] || { echo "the demo window did not start" >&2; exit 1; }

mkfifo "$work/requests"
"$helper" <"$work/requests" >"$work/answers" 2>"$work/log" &
helper_pid=$!
exec 3>"$work/requests"

# Waits for the response with id $1 and prints it.
response() {
  for _ in $(seq 600); do
    if line=$(grep -m1 "\"id\":\"$1\"" "$work/answers"); then echo "$line"; return 0; fi
    sleep 0.1
  done
  echo "no response to request $1" >&2
  return 1
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$helper_pid/stat"; }

printf '{"id":"1","command":"startCapture","payload":{"sourceType":"window","sourceId":"window:%s","outputDirectory":"%s","bufferSeconds":30,"segmentSeconds":10,"fps":%s}}\n' \
  "$window" "$work/out" "$fps" >&3
started=$(response 1)
echo "$started" | jq -e '.ok' >/dev/null || { echo "startCapture failed: $started" >&2; exit 1; }

ticks_before=$(cpu_ticks)
clock_before=$(date +%s.%N)
sleep "$seconds"
ticks_after=$(cpu_ticks)
clock_after=$(date +%s.%N)

echo '{"id":"2","command":"stopCapture"}' >&3
stopped=$(response 2)
exec 3>&-
wait "$helper_pid" || true
helper_pid=

hertz=$(getconf CLK_TCK)
echo "recording:      ${seconds} s of a 1920x1080 window at ${fps} fps on $(nproc) cores"
echo "$stopped" | jq -r '.result | "framesCaptured: \(.framesCaptured)\nframesDropped:  \(.framesDropped)\nmeasuredFps:    \(.measuredFps)\nsegments:       \(.segmentCount) in the index, \(.retainedSeconds) s retained\nrestartCount:   \(.restartCount)"'
awk -v t0="$ticks_before" -v t1="$ticks_after" -v c0="$clock_before" -v c1="$clock_after" -v hz="$hertz" \
  'BEGIN { printf "helper CPU:     %.1f %% of one core (%.1f s of CPU in %.1f s)\n", 100 * (t1 - t0) / hz / (c1 - c0), (t1 - t0) / hz, c1 - c0 }'
grep -c '"event":"segment-finalized"' "$work/answers" | sed 's/^/segment events: /'
if grep -q '"event":"capture-error"' "$work/answers"; then
  echo "capture errors:"
  grep '"event":"capture-error"' "$work/answers" | jq -r '.result.message' | sed 's/^/  /'
fi
