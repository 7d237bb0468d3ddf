#!/usr/bin/env bash
# Encodes the segment benchmark's screen-like frames with the ffmpeg command-line tool, using the
# settings of the capture writer's FFmpeg encoder (libx264 veryfast, High profile, 4 bit/pixel/s
# within 2-12 Mbit/s, no B-frames, forced IDR every second, fragmented MP4), once with frame
# threads (lookahead 5) and once with tune=zerolatency. Prints frames per second, CPU seconds per
# frame and PSNR for each, next to which the benchmark's own figures can be read.
#
#   scripts/compare-segment-encoder.sh [build-directory]     (default: build)
#
# The benchmark binary must be built (-DHALVEX_BUILD_BENCHMARKS=ON). Raw frames go to /dev/shm
# and are removed afterwards; each encode is 60 frames (2 s of 30 fps video).
set -euo pipefail

build=${1:-build}
bench="$build/bench/SegmentWriterBench"
[ -x "$bench" ] || { echo "missing $bench" >&2; exit 1; }
work=$(mktemp -d /dev/shm/segment-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== SegmentWriterBench (library) =="
HALVEX_SEGMENT_BENCH_FRAMES_DIR="$work" "$bench" --benchmark_counters_tabular=true

echo
echo "== ffmpeg command line, same frames and settings =="
printf '%-10s %-12s %8s %16s %10s\n' size threading fps cpu_s_per_frame psnr_avg
for size in 1920x1080 3840x2160; do
  width=${size%x*}
  height=${size#*x}
  rate=$(( width * height * 4 ))
  (( rate < 2000000 )) && rate=2000000
  (( rate > 12000000 )) && rate=12000000
  input=(-f rawvideo -pix_fmt bgra -s "$size" -r 30 -i "$work/frames-$size.bgra")
  for threading in frame sliced; do
    if [ "$threading" = sliced ]; then tuning=(-tune zerolatency); else tuning=(-rc-lookahead 5); fi
    output="$work/out-$size-$threading.mp4"
    log=$(ffmpeg -nostdin -hide_banner -nostats -benchmark -stream_loop 2 "${input[@]}" -frames:v 60 \
      -sws_flags bilinear -pix_fmt yuv420p -c:v libx264 -preset veryfast -profile:v high -b:v "$rate" \
      -bf 0 -g 60 -forced-idr 1 -force_key_frames 'expr:gte(t,n_forced*1)' "${tuning[@]}" \
      -movflags +frag_keyframe+empty_moov+default_base_moof -f mp4 -y "$output" 2>&1)
    bench_line=$(grep -o 'utime=[0-9.]*s stime=[0-9.]*s rtime=[0-9.]*s' <<<"$log" | tail -1)
    utime=$(sed -E 's/.*utime=([0-9.]+)s.*/\1/' <<<"$bench_line")
    stime=$(sed -E 's/.*stime=([0-9.]+)s.*/\1/' <<<"$bench_line")
    rtime=$(sed -E 's/.*rtime=([0-9.]+)s.*/\1/' <<<"$bench_line")
    psnr=$(ffmpeg -nostdin -hide_banner -stream_loop 2 "${input[@]}" -i "$output" -frames:v 60 \
      -lavfi '[0:v]scale=flags=bilinear,format=yuv420p[ref];[1:v][ref]psnr' -f null - 2>&1 |
      grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2)
    awk -v s="$size" -v t="$threading" -v u="$utime" -v st="$stime" -v r="$rtime" -v p="$psnr" \
      'BEGIN { printf "%-10s %-12s %8.1f %16.4f %10s\n", s, t, 60 / r, (u + st) / 60, p }'
  done
done
