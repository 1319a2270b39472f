#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds, and starts ostrel. With no display it starts its own
# virtual X server, so the window can be looked at with a screenshot tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev --target ostrel -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/dev/ostrel/ostrel "$@"
fi
exec build/dev/ostrel/ostrel "$@"
