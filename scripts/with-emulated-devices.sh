#!/usr/bin/env bash
# Runs COMMAND with three emulated V4L2 cards present, for a demo without hardware or to
# reproduce a device problem:
#
#   scripts/with-emulated-devices.sh build/ci/tools/orvex-info
#   scripts/with-emulated-devices.sh build/ci/mirrane/mirrane
#   scripts/with-emulated-devices.sh sh -c 'gst-launch-1.0 v4l2src device=$ORVEX_V4L2_DIR/video0 ! autovideosink'
#
# The cards: video0 "Emulated USB Camera" (YUYV and Motion JPEG up to 1920x1080), video1
# "Emulated TV Card" (tuner with stations on E5, E7, E10, 21, 25 and 33, composite input) and
# video2 "Emulated Bayer Camera" (raw Bayer only, converted by libv4l2). They live in a
# temporary directory, named to COMMAND by ORVEX_V4L2_DIR, where the programs look for video
# nodes instead of /dev; the emulator library (LD_PRELOAD) answers for them as the kernel would.
# Each node is a small file holding its profile name ("webcam", "tvcard" or "bayer"): deleting
# it unplugs the card (the open device answers ENODEV from then on), writing it again plugs a
# new one in. Other programs started by COMMAND see the cards too.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
library="$root/build/ci/tests/support/liborvex_v4l2_emulator.so"

# Build the emulator (and nothing else) when it is missing or older than its sources.
if [ ! -f "$root/build/ci/build.ninja" ]; then
  (cd "$root" && cmake --preset ci >&2)
fi
(cd "$root" && cmake --build --preset ci --target orvex_v4l2_emulator >&2)

nodes="$(mktemp -d "${TMPDIR:-/tmp}/orvex-v4l2.XXXXXX")"
trap 'rm -rf "$nodes"' EXIT
echo webcam > "$nodes/video0"
echo tvcard > "$nodes/video1"
echo bayer > "$nodes/video2"
echo "Emulated V4L2 cards in $nodes: video0 webcam, video1 tvcard, video2 bayer" >&2

status=0
ORVEX_V4L2_DIR="$nodes" LD_PRELOAD="$library${LD_PRELOAD:+:$LD_PRELOAD}" "$@" || status=$?
exit "$status"
