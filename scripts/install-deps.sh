#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav
  gstreamer1.0-alsa gstreamer1.0-pulseaudio pulseaudio-utils
  linux-libc-dev libv4l-dev libjpeg62-turbo-dev v4l-utils
  xvfb xauth x11-utils xdotool fonts-dejavu-core
  desktop-file-utils appstream dpkg-dev file man-db lintian
  debootstrap x11-apps imagemagick
  qemu-system-x86 busybox-static kmod ffmpeg
  fonts-dejavu-extra fonts-liberation2 weston qt6-wayland
  at-spi2-core dbus-daemon make
  udev pipewire wireplumber gstreamer1.0-pipewire
)
# The sound server the tests start privately (scripts/with-sound-server.sh). Not on a desktop
# that runs PipeWire's PulseAudio service: a second server would compete for the user's session.
if ! dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
  packages+=(pulseaudio)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
