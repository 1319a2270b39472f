#!/usr/bin/env bash
# Clicks mirrane's "Preview" button again and again, from outside, in a private virtual X
# server, and prints the program's memory and open descriptors along the way. Both should stay
# where they were after the first click.
#
#   bench/preview_clicks.sh [clicks=300] [program=build/ci/mirrane/mirrane]
#
# Needs Xvfb and xdotool (scripts/install-deps.sh installs both). Clicks come a quarter of a
# second apart, about as fast as a user clicks.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
clicks="${1:-300}"
program="${2:-$root/build/ci/mirrane/mirrane}"
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "preview_clicks: $tool is missing; run scripts/install-deps.sh" >&2; exit 2; }
done
[ -x "$program" ] || { echo "preview_clicks: $program is not built; run cmake --build --preset ci" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/orvex-clicks.XXXXXX")"
xvfb=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r -t 10 -u "$displayfd" number || { echo "preview_clicks: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

# No sound server here: the program must not wait on one.
(cd "$work" && PULSE_SERVER="unix:$work/no-sound-server" QT_QPA_PLATFORM=xcb exec "$program") >"$work/program.log" 2>&1 &
app=$!

window=""
for _ in $(seq 100); do
  window="$(xdotool search --sync --onlyvisible --pid "$app" 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "preview_clicks: the window did not appear" >&2; cat "$work/program.log" >&2; exit 1; }

# The button's place in the window, in pixels.
button_x=272
button_y=60

status() {
  local rss fds threads
  rss="$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")"
  threads="$(awk '/^Threads/ {print $2}' "/proc/$app/status")"
  fds="$(find "/proc/$app/fd" -mindepth 1 -maxdepth 1 | wc -l)"
  printf '%6d  %8.1f  %11d  %7d\n' "$1" "$(awk -v kb="$rss" 'BEGIN {print kb / 1024}')" "$fds" "$threads"
}

click() {
  xdotool mousemove --window "$window" "$button_x" "$button_y" click 1
  sleep 0.25
}

printf 'clicks  RSS (MB)  descriptors  threads\n'
sleep 1
status 0
click
sleep 1
status 1
for i in $(seq 2 "$clicks"); do
  click
  if [ $((i % 50)) -eq 0 ] || [ "$i" -eq "$clicks" ]; then
    sleep 1
    status "$i"
  fi
done
