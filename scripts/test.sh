#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds with the given preset (ci by default) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
