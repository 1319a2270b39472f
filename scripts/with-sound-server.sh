#!/usr/bin/env bash
# Runs COMMAND next to a private sound server, so sound can be tried without a sound card:
#   scripts/with-sound-server.sh build/ci/tools/orvex-info
#
# The server belongs to this run alone (its own runtime folder, nothing system-wide touched,
# also as root). It has two null sinks:
#   "Orvex Test Signal"    carries a 440 Hz tone; its source "Monitor of Orvex Test Signal" is
#                          what a program records from
#   "Orvex Test Speakers"  the default output: what a program plays ends up here, and its
#                          monitor lets a test listen to it
# COMMAND runs with PULSE_SERVER pointing at the server; its exit status is the script's.
# Everything started here is stopped on the way out, also on failure or a signal.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
for tool in pulseaudio pactl gst-launch-1.0; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-sound-server: $tool is missing; run scripts/install-deps.sh first." >&2
    exit 127
  fi
done

readonly TONE_SINK=orvex_tone
readonly SPEAKER_SINK=orvex_speakers

dir="$(mktemp -d "${TMPDIR:-/tmp}/orvex-sound.XXXXXX")"
server_pid=""
tone_pid=""
command_pid=""

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  set +e
  if [ -n "$command_pid" ] && kill -0 "$command_pid" 2>/dev/null; then
    kill "$command_pid" 2>/dev/null
    wait "$command_pid" 2>/dev/null
  fi
  if [ -n "$tone_pid" ]; then
    kill "$tone_pid" 2>/dev/null
    wait "$tone_pid" 2>/dev/null
  fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  rm -rf "$dir"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mkdir -p "$dir/runtime" "$dir/config" "$dir/state"
chmod 700 "$dir/runtime"
socket="$dir/runtime/native"

# No default script (-n), no autospawned or system server: only the modules named here.
# Anonymous access on a socket in a private folder spares a cookie in the user's home.
XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
XDG_CONFIG_HOME="$dir/config" HOME="$dir" \
  pulseaudio --daemonize=no --system=no --exit-idle-time=-1 --use-pid-file=no \
    --disallow-module-loading=no --disable-shm=yes --realtime=no --high-priority=no \
    -n --log-target=stderr --log-level=error \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$socket" \
    -L "module-null-sink sink_name=$TONE_SINK rate=48000 channels=2 sink_properties=device.description=\"Orvex\\ Test\\ Signal\"" \
    -L "module-null-sink sink_name=$SPEAKER_SINK rate=48000 channels=2 sink_properties=device.description=\"Orvex\\ Test\\ Speakers\"" \
    2>"$dir/server.log" &
server_pid=$!

export PULSE_SERVER="unix:$socket"
ready=""
for _ in $(seq 1 100); do
  if pactl info >/dev/null 2>&1; then
    ready=1
    break
  fi
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$ready" ]; then
  echo "with-sound-server: the sound server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi
pactl set-default-sink "$SPEAKER_SINK"
pactl set-default-source "$TONE_SINK.monitor"

gst-launch-1.0 -q audiotestsrc is-live=true freq=440 volume=0.5 \
  ! audio/x-raw,rate=48000,channels=2 ! pulsesink device="$TONE_SINK" client-name="Orvex test signal" \
  >"$dir/tone.log" 2>&1 &
tone_pid=$!
# Until the tone plays, its sink's monitor carries silence.
for _ in $(seq 1 100); do
  pactl list short sink-inputs | grep -q . && break
  sleep 0.05
done

# Not exec: the traps must stop the server once COMMAND ends. In the background, with this
# script's input handed on, so that a signal is acted upon at once rather than after COMMAND.
"$@" <&0 &
command_pid=$!
set +e
wait "$command_pid"
status=$?
set -e
exit "$status"
