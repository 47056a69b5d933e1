#!/usr/bin/env bash
# Times tolvane-batch against the command-line tools a user would otherwise script, on the same
# batch of 24-megapixel JPEG photographs, for three everyday jobs:
#   png     JPEG -> PNG at compression level 6
#   resize  JPEG -> JPEG at quality 90, turned right and resized to 3000 pixels wide
#   bmp     JPEG -> 24-bit BMP
# Peers are used when they are installed: ImageMagick (`convert`) for every job, and
# libjpeg-turbo's djpeg for the BMP job. hyperfine gives the times when present; otherwise each
# command is timed once with bash's `time`. Nothing here runs in CI.
#
#   bench/batch_vs_peers.sh [COUNT]      (default 8 files)
#   IM=/usr/bin/convert bench/batch_vs_peers.sh   (which ImageMagick program to run)
#
# Tip: `apt-get install imagemagick hyperfine` brings the peer and the timer.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-8}
im=${IM:-convert}
build=build-release

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLVANE_TESTS=OFF >/dev/null
cmake --build "$build" --target tolvane-batch codecs_bench >/dev/null
batch=$PWD/$build/tolvane-batch

work=$(mktemp -d /tmp/tolvane-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out"
# codecs_bench writes its synthetic 24-megapixel photograph when asked to.
TOLVANE_BENCH_OUT=$work "$build/bench/codecs_bench" --benchmark_filter=JpegEncode \
  --benchmark_min_time=0.01 >/dev/null
for i in $(seq 1 "$count"); do cp "$work/codecs_24mp.jpg" "$work/in/photo$i.jpg"; done
files=("$work"/in/*.jpg)
echo "batch: $count JPEG files of 6000 x 4000 pixels; $(nproc) cores"

# Commands for each job: tolvane-batch first, then the peers that are installed.
declare -A tolvane peer_im peer_djpeg
tolvane[png]="$batch --quiet -o $work/out -f png --png-compression 6 ${files[*]}"
tolvane[resize]="$batch --quiet -o $work/out -f jpeg -Q 90 --rotate right --resize 3000x2000 --aspect width ${files[*]}"
tolvane[bmp]="$batch --quiet -o $work/out -f bmp ${files[*]}"
im_loop() {  # ImageMagick over every file: im_loop EXT ARGS...
  local ext=$1; shift
  printf 'for f in %s; do %s "$f" %s %s/out/$(basename "$f" .jpg).%s; done' \
    "${files[*]}" "$im" "$*" "$work" "$ext"
}
peer_im[png]=$(im_loop png -quality 65)  # zlib level 6, adaptive filters
peer_im[resize]=$(im_loop jpg -rotate 90 -resize 3000x -quality 90)
peer_im[bmp]=$(im_loop bmp -type TrueColor)
peer_djpeg[bmp]=$(printf 'for f in %s; do djpeg -bmp -outfile %s/out/$(basename "$f" .jpg).bmp "$f"; done' \
  "${files[*]}" "$work")

have() { command -v "$1" >/dev/null 2>&1; }
clean_out() { rm -f "$work"/out/*; }

time_commands() {  # time_commands JOB NAME=COMMAND...
  local job=$1; shift
  echo
  echo "== $job"
  if have hyperfine; then
    local args=()
    for pair in "$@"; do args+=(-n "${pair%%=*}" "${pair#*=}"); done
    hyperfine --warmup 1 --runs 3 --prepare "rm -f $work/out/*" "${args[@]}"
  else
    for pair in "$@"; do
      clean_out
      echo "-- ${pair%%=*}"
      time bash -c "${pair#*=}"
    done
  fi
}

for job in png resize bmp; do
  commands=("tolvane-batch=${tolvane[$job]}")
  if have "$im" && "$im" -version 2>/dev/null | grep -q ImageMagick; then
    commands+=("ImageMagick=${peer_im[$job]}")
  fi
  if [ -n "${peer_djpeg[$job]:-}" ] && have djpeg; then
    commands+=("djpeg=${peer_djpeg[$job]}")
  fi
  time_commands "$job" "${commands[@]}"
done
