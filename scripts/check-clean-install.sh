#!/usr/bin/env bash
# Installs the Debian package on a minimal Debian 12 system the way a user does, uses it there
# and removes it again:
#
#   sudo scripts/check-clean-install.sh [build/ci/orvex-suite_0.1-1_amd64.deb]
#
# 1. A minimal root (debootstrap --variant=minbase) from the mirror this machine's apt uses.
# 2. `apt-get install ./orvex-suite_*.deb` there, without recommended packages: apt has to find
#    everything the programs need from the package's Depends alone.
# 3. orvex-info, then each of the three windows in a private X server, with a screenshot of each.
# 4. `apt-get remove` and `dpkg --purge`: the root's file list must lose exactly the package's
#    files; then `apt-get autoremove --purge` must take every package that came with it.
# It prints the time each step took and what the install cost in packages and disk space.
#
# Needs root (chroot and mounts) and the network to the mirror. Downloads are kept in
# $ORVEX_CLEAN_INSTALL_CACHE (~/.cache/orvex-suite-clean-install): a second run starts from the
# bootstrapped root kept there and fetches no package twice. Screenshots and the programs' output
# go to $ORVEX_CLEAN_INSTALL_OUT (build/clean-install). The root itself is deleted at the end,
# also on failure or a signal, after everything mounted inside it is unmounted.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${ORVEX_CLEAN_INSTALL_CACHE:-${HOME:-/root}/.cache/orvex-suite-clean-install}"
out="${ORVEX_CLEAN_INSTALL_OUT:-$repo/build/clean-install}"
readonly windowPrograms=(ostrel mirrane tulvik)
readonly suite=bookworm

say() { printf 'check-clean-install: %s\n' "$*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  fail "needs root for chroot and its mounts; run it with sudo"
fi
for tool in debootstrap chroot Xvfb xdotool xwd convert; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/install-deps.sh first"
done
if [ $# -ge 1 ]; then
  package="$(realpath "$1")"
else
  package="$(ls -t "$repo"/build/ci/orvex-suite_*.deb 2>/dev/null | head -n1 || true)"
fi
[ -f "${package:-}" ] || fail "no package: build one with \`cd build/ci && cpack -G DEB\` or name it"

# The mirrors apt uses here, so the new root gets what this machine would.
mirror_of() {
  apt-get indextargets --format '$(RELEASE) $(REPO_URI)' "Created-By: Packages" |
    awk -v release="$1" '$1 == release { print $2; exit }'
}
mirror="$(mirror_of "$suite")"
security="$(mirror_of "$suite-security")"
updates="$(mirror_of "$suite-updates")"
[ -n "$mirror" ] || fail "apt on this machine knows no mirror for $suite (/etc/apt/sources.list*)"

root=""
mounted=()
xvfb_pid=""
program_pid=""
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  set +e
  for pid in "$program_pid" "$xvfb_pid"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      wait "$pid" 2>/dev/null
    fi
  done
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
  done
  if [ -n "$root" ]; then
    # Never delete through a mount that is still there: /dev is the machine's own.
    if awk -v r="$root" '$2 == r || index($2, r "/") == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
      say "left $root in place: something is still mounted inside it"
    else
      rm -rf --one-file-system "$root"
    fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mount_in_root() {  # mount_in_root TARGET MOUNT-ARGS...
  local target="$root/$1"
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}

# A command in the root, with an environment of its own rather than this shell's.
root_env=(/usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp/home LANG=C.UTF-8
          DEBIAN_FRONTEND=noninteractive)
in_root() {
  chroot "$root" "${root_env[@]}" "$@"
}

# Every file and folder of the root but the ones that change on their own (logs, apt's caches,
# the mounts, /tmp where the programs run).
file_list() {
  (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./run \
      -o -path ./tmp -o -path ./var/log -o -path ./var/cache/apt -o -path ./var/lib/apt/lists \) \
      -prune -o -print | LC_ALL=C sort)
}

disk_use_kib() {
  (cd "$root" && du -skx --exclude=./var/cache/apt --exclude=./var/lib/apt/lists --exclude=./tmp . | cut -f1)
}

mkdir -p "$cache/debs" "$cache/archives/partial" "$out"
rm -f "$out"/*.png "$out"/*.log
root="$(mktemp -d /var/tmp/orvex-clean-install.XXXXXX)"
chmod 755 "$root"

# 1. The minimal system, bootstrapped once and kept as a tarball.
start=$SECONDS
base="$cache/$suite-minbase.tar"
if [ ! -f "$base" ]; then
  say "bootstrapping a minimal $suite from $mirror"
  debootstrap --variant=minbase --cache-dir="$cache/debs" "$suite" "$root" "$mirror" \
    > "$out/debootstrap.log" 2>&1 || fail "debootstrap failed; see $out/debootstrap.log"
  tar -C "$root" -cf "$base.part" . && mv "$base.part" "$base"
else
  say "starting from the minimal $suite kept in $base"
  tar -C "$root" -xf "$base"
fi
{
  echo "deb $mirror $suite main"
  [ -z "$updates" ] || echo "deb $updates $suite-updates main"
  [ -z "$security" ] || echo "deb $security $suite-security main"
} > "$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service of a package starts inside the root.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount_in_root proc -t proc proc
mount_in_root sys -t sysfs sysfs
mount_in_root dev --bind /dev
mount_in_root dev/pts --bind /dev/pts
mount_in_root var/cache/apt/archives --bind "$cache/archives"
mkdir -m 700 "$root/tmp/home"
in_root apt-get update -qq > "$out/apt-update.log" 2>&1 || fail "apt-get update failed; see $out/apt-update.log"
bootstrap_time=$((SECONDS - start))

# 2. The install, apt resolving every dependency.
before="$out/files-before.txt"
file_list > "$before"
packages_before="$(in_root dpkg-query -W -f='${Package}\n' | wc -l)"
disk_before="$(disk_use_kib)"
cp "$package" "$root/tmp/"
start=$SECONDS
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$package")" \
  > "$out/apt-install.log" 2>&1 || fail "apt-get install failed; see $out/apt-install.log"
install_time=$((SECONDS - start))
packages_after="$(in_root dpkg-query -W -f='${Package}\n' | wc -l)"
disk_after="$(disk_use_kib)"
own_size="$(in_root dpkg-query -W -f='${Installed-Size}' orvex-suite)"
in_root dpkg-query -L orvex-suite > "$out/package-files.txt"
file_list > "$out/files-installed.txt"

# 3. The programs as installed.
start=$SECONDS
in_root orvex-info > "$out/orvex-info.log" 2>&1 || fail "orvex-info failed; see $out/orvex-info.log"
grep -q "Test Pattern Camera" "$out/orvex-info.log" ||
  fail "orvex-info does not list the built-in camera; see $out/orvex-info.log"

exec 3> "$out/display.txt"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp > "$out/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$out/display.txt" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start; see $out/xvfb.log"
  sleep 0.1
done
display=":$(tr -d '\n' < "$out/display.txt")"
[ "$display" != ":" ] || fail "Xvfb named no display; see $out/xvfb.log"

# Starts the picture the way a user does, at the places where each window's layout puts the
# controls: Preview in ostrel and mirrane; in tulvik the TV tuner (next in the device list),
# Start, then the first channel, which carries a station.
start_picture() {  # start_picture PROGRAM WINDOW
  local at=(mousemove --window "$2")
  case "$1" in
    ostrel) DISPLAY="$display" xdotool "${at[@]}" 64 232 click 1 ;;
    mirrane) DISPLAY="$display" xdotool "${at[@]}" 272 60 click 1 ;;
    tulvik) DISPLAY="$display" xdotool "${at[@]}" 185 17 click 1 sleep 0.5 key Down Return sleep 0.5 \
              "${at[@]}" 316 20 click 1 sleep 1 "${at[@]}" 57 327 click 1 ;;
  esac
}
for program in "${windowPrograms[@]}"; do
  # The X server's abstract socket reaches into the chroot, its socket file does not need to.
  # Started straight from this shell, so that $! is the program itself.
  chroot "$root" "${root_env[@]}" DISPLAY="$display" XDG_RUNTIME_DIR=/tmp/home "$program" \
    > "$out/$program.log" 2>&1 &
  program_pid=$!
  window="$(DISPLAY="$display" timeout 30 xdotool search --sync --onlyvisible --class "$program" | head -n1 || true)"
  [ -n "$window" ] || fail "$program showed no window within 30 s; see $out/$program.log"
  start_picture "$program" "$window"
  sleep 3  # let the picture run for a few frames
  kill -0 "$program_pid" 2>/dev/null || fail "$program ended after showing its window; see $out/$program.log"
  # The whole screen, so that a message box the program opened is in the picture too.
  xwd -display "$display" -root -silent | convert xwd:- "$out/$program.png"
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
  say "$program started; its window is in $out/$program.png"
done
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""
run_time=$((SECONDS - start))

# 4. The removal: first the package's own files, then everything it brought in.
start=$SECONDS
in_root apt-get remove -y orvex-suite > "$out/apt-remove.log" 2>&1 || fail "apt-get remove failed; see $out/apt-remove.log"
# apt no longer knows a removed local package by name; dpkg purges what it still records.
in_root dpkg --purge orvex-suite >> "$out/apt-remove.log" 2>&1 || fail "dpkg --purge failed; see $out/apt-remove.log"
if in_root dpkg-query -W -f='${db:Status-Status}\n' orvex-suite 2>/dev/null | grep -qv '^not-installed$'; then
  fail "dpkg still keeps a record of orvex-suite after the purge"
fi
# The removal took exactly the package's own files and the folders it made: nothing of it stays,
# nothing else went, nothing new appeared.
file_list > "$out/files-removed.txt"
{
  sed 's|^/|./|' "$out/package-files.txt" | grep -vxF ./.
  grep '^\./var/lib/dpkg/info/orvex-suite\.' "$out/files-installed.txt"  # dpkg's record of it
} | LC_ALL=C sort | LC_ALL=C comm -23 - "$before" > "$out/files-expected-gone.txt"
LC_ALL=C comm -3 "$out/files-installed.txt" "$out/files-removed.txt" > "$out/files-gone.txt"
if ! diff -u "$out/files-expected-gone.txt" "$out/files-gone.txt" > "$out/removal.diff"; then
  fail "the removal did not take exactly the package's files (- stayed, + went or appeared); see $out/removal.diff"
fi
in_root apt-get autoremove --purge -y >> "$out/apt-remove.log" 2>&1 || fail "apt-get autoremove failed; see $out/apt-remove.log"
remove_time=$((SECONDS - start))
# What the dependencies' own maintainer scripts leave (users added, a machine id) is theirs:
# told, not failed.
file_list | LC_ALL=C comm -13 "$before" - > "$out/files-left-by-dependencies.txt"
packages_left="$(in_root dpkg-query -W -f='${Package}\n' | wc -l)"
[ "$packages_left" -eq "$packages_before" ] ||
  fail "$packages_before packages before the install, $packages_left after the removal"

say "passed with $(basename "$package")"
if [ -s "$out/files-left-by-dependencies.txt" ]; then
  say "left by the dependencies after autoremove --purge: $(tr '\n' ' ' < "$out/files-left-by-dependencies.txt")"
fi
say "times: minimal system ${bootstrap_time} s, install ${install_time} s, programs ${run_time} s, removal ${remove_time} s; whole run ${SECONDS} s"
say "the package: ${own_size} KiB installed; with the $((packages_after - packages_before)) packages it brought in: $(( (disk_after - disk_before) / 1024 )) MiB"
