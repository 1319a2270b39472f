#!/usr/bin/env bash
# v4l2-compliance -s on each emulated card: every test it runs must pass. Runs with the
# emulator preloaded and ORVEX_V4L2_DIR naming an empty node directory of its own (CTest sets
# both); exits 77 (skipped) when v4l2-compliance is not installed.
set -uo pipefail
if ! command -v v4l2-compliance >/dev/null; then
  echo "SKIPPED: v4l2-compliance is not installed (Debian package v4l-utils)"
  exit 77
fi
rm -rf "$ORVEX_V4L2_DIR" && mkdir -p "$ORVEX_V4L2_DIR"
status=0
node=0
for profile in webcam tvcard bayer; do
  device="$ORVEX_V4L2_DIR/video$node"
  echo "$profile" > "$device"
  output="$(v4l2-compliance -s -d "$device" 2>&1)"
  total="$(grep -E '^Total for ' <<<"$output" | tail -n 1)"
  echo "$profile: ${total:-no result}"
  if [ -z "$total" ] || ! grep -q 'Failed: 0,' <<<"$total"; then
    grep -E 'fail:|FAIL' <<<"$output"
    status=1
  fi
  node=$((node + 1))
done
exit "$status"
