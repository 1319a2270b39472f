#!/usr/bin/env bash
# Runs COMMAND [ARGS...] in a small VM that boots Debian's own kernel with its virtual video
# driver (vivid) and its ALSA loopback card (snd-aloop) loaded, and exits with COMMAND's status.
#
# The guest's root is this machine's root, shared read-only over 9p under an overlay whose upper
# layer is a tmpfs: the guest sees every installed package and build folder, may write anywhere,
# and changes nothing here. COMMAND runs as root in the current directory with PATH, HOME, the
# locale and every ORVEX_*, GST_*, QT_* and PULSE_* variable of the caller; its stdout and stderr
# come back through a second, writable share once the VM has powered off.
#
# The kernel package is downloaded with apt and unpacked into a cache, never installed here.
#
#   ORVEX_VIVID_OPTIONS       vivid's module options (default "n_devs=1"), e.g. "multiplanar=2";
#                             "none" leaves vivid out (the loopback card is always there)
#   ORVEX_KERNEL_VM_USB_WEBCAM  the path of orvex-usb-webcam (tests/usbwebcam): a USB webcam with a
#                             microphone is plugged in through vhci-hcd and served by uvcvideo and
#                             snd-usb-audio, beside vivid and the loopback card. COMMAND starts once
#                             its video node and sound card are there (at most 20 s), with
#                             ORVEX_USB_WEBCAM_PID (SIGUSR1 unplugs it, SIGUSR2 plugs it in again),
#                             ORVEX_USB_WEBCAM_VIDEO (its /dev/videoN) and ORVEX_USB_WEBCAM_CARD
#                             (its ALSA card's id, as in hw:ID); it is stopped after COMMAND.
#   ORVEX_UVCVIDEO_OPTIONS    uvcvideo's module options, e.g. "nodrop=1"
#   ORVEX_KERNEL_VM_LOOPBACK=1  a virtual camera as streaming programs make one: v4l2loopback, built
#                             from Debian's source for the VM's kernel into the cache (never
#                             installed here), loaded with exclusive_caps=1 and the card label
#                             "Virtual Camera"; ORVEX_LOOPBACK_VIDEO names its /dev/videoN
#   ORVEX_KERNEL_VM_PIPEWIRE=1  a desktop's camera service: udev, a session bus, PipeWire and
#                             WirePlumber (its Bluetooth monitor off) are started once the devices are
#                             there, and COMMAND starts when PipeWire lists a node for each capture
#                             node udev knows (at most 30 s), with ORVEX_PIPEWIRE_SESSION=1
#   ORVEX_KERNEL_VM_TIMEOUT   seconds before the VM is killed (default 600)
#   ORVEX_KERNEL_CACHE        where the kernel is unpacked (default ~/.cache/orvex/kernel)
#   ORVEX_KERNEL_VM_VERBOSE=1 print the boot time and the guest's console to stderr
#
# Exit status: COMMAND's; 77 when QEMU, busybox or the kernel cannot be had; 124 on the timeout;
# 70 when the VM stopped without reporting a status (its console is printed); 69 when the USB
# webcam did not appear (its messages are printed).
set -euo pipefail

if [ -n "${ORVEX_IN_KERNEL_VM:-}" ]; then
  exec "$@"
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

say() { echo "with-kernel-devices: $*" >&2; }
unavailable() { say "$*"; exit 77; }
if [ -n "${ORVEX_KERNEL_VM_USB_WEBCAM:-}" ] && [ ! -x "$ORVEX_KERNEL_VM_USB_WEBCAM" ]; then
  say "ORVEX_KERNEL_VM_USB_WEBCAM names $ORVEX_KERNEL_VM_USB_WEBCAM, which is not an executable (build orvex-usb-webcam)."
  exit 2
fi

command -v qemu-system-x86_64 >/dev/null ||
  unavailable "qemu-system-x86_64 is not installed, so the kernel's devices cannot be booted (scripts/install-deps.sh installs qemu-system-x86)."
busybox=/bin/busybox
if ! file -L "$busybox" 2>/dev/null | grep -q "statically linked"; then
  unavailable "a statically linked $busybox is needed for the VM's first stage (install busybox-static)."
fi
for tool in depmod dpkg-deb apt-get flock make; do
  command -v "$tool" >/dev/null || unavailable "$tool is not installed; the kernel cannot be unpacked."
done

cache="${ORVEX_KERNEL_CACHE:-${XDG_CACHE_HOME:-${HOME:-/var/cache}/.cache}/orvex/kernel}"
mkdir -p "$cache"

# Downloads these packages with apt into a new folder of the cache, $fetched, and unpacks them
# into $fetched/root; WHAT says what could not be had otherwise.
fetch_packages() {
  local what="$1"
  shift
  fetched="$(mktemp -d "$cache/.download.XXXXXX")"
  if ! (cd "$fetched" && apt-get download "$@") >"$fetched/log" 2>&1; then
    cat "$fetched/log" >&2
    rm -rf "$fetched"
    unavailable "$what could not be downloaded."
  fi
  mkdir "$fetched/root"
  for deb in "$fetched"/*.deb; do dpkg-deb -x "$deb" "$fetched/root"; done
}

# The kernel: the image that linux-image-amd64 points at now, or the newest one unpacked before
# when apt cannot tell (no package lists on this machine).
pkg="$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')"
if [ -z "$pkg" ]; then
  pkg="$(find "$cache" -maxdepth 2 -name .ready -printf '%h\n' 2>/dev/null | sort -V | tail -n 1 | xargs -r basename)"
  [ -n "$pkg" ] || unavailable "apt knows no linux-image-amd64 package (run apt-get update) and none is cached in $cache."
fi
tree="$cache/$pkg"
if [ ! -e "$tree/.ready" ]; then
  # Several tests may start at once: one downloads, the others wait for it.
  exec 9>"$cache/.lock"
  flock 9
  if [ ! -e "$tree/.ready" ]; then
    fetch_packages "the kernel package $pkg" "$pkg"
    kver="$(ls "$fetched/root/lib/modules")"
    depmod -b "$fetched/root" "$kver"
    rm -rf "$tree"
    mv "$fetched/root" "$tree"
    rm -rf "$fetched"
    touch "$tree/.ready"
  fi
  exec 9>&-
fi
kver="$(ls "$tree/lib/modules")"
vmlinuz="$tree/boot/vmlinuz-$kver"
moddir="$tree/lib/modules/$kver/kernel"

# v4l2loopback, built against the unpacked headers of the VM's kernel (about 3 s): their Makefile
# names the common headers by an absolute path, pointed into the unpacked tree instead.
loopback_ko=
if [ "${ORVEX_KERNEL_VM_LOOPBACK:-}" = 1 ]; then
  loopback_ko="$cache/v4l2loopback-$kver/v4l2loopback.ko"
  if [ ! -e "$loopback_ko" ]; then
    exec 9>"$cache/.lock"
    flock 9
    if [ ! -e "$loopback_ko" ]; then
      fetch_packages "the packages to build v4l2loopback for $kver" v4l2loopback-dkms "linux-headers-$kver" \
        "linux-headers-${kver%-*}-common" "linux-kbuild-$(echo "$kver" | cut -d. -f1-2)"
      headers="$fetched/root/usr/src/linux-headers-$kver"
      sed -i "s|^include /usr/src/|include $fetched/root/usr/src/|" "$headers/Makefile"
      source_dir="$(echo "$fetched"/root/usr/src/v4l2loopback-*)"
      if ! make -C "$headers" M="$source_dir" modules >"$fetched/log" 2>&1; then
        cat "$fetched/log" >&2
        rm -rf "$fetched"
        unavailable "v4l2loopback could not be built for $kver."
      fi
      mkdir -p "$(dirname "$loopback_ko")"
      cp "$source_dir/v4l2loopback.ko" "$loopback_ko.part"
      mv "$loopback_ko.part" "$loopback_ko"
      rm -rf "$fetched"
    fi
    exec 9>&-
  fi
fi

run="$(mktemp -d "${TMPDIR:-/tmp}/orvex-kernel-vm.XXXXXX")"
qemu_pid=""
cleanup() {
  if [ -n "$qemu_pid" ] && kill -0 "$qemu_pid" 2>/dev/null; then
    kill -KILL "$qemu_pid" 2>/dev/null || true
    wait "$qemu_pid" 2>/dev/null || true
  fi
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# First stage: busybox and the modules that reach the 9p root, in dependency order.
mkdir -p "$run/initramfs/bin" "$run/initramfs/modules" "$run/share"
cp "$busybox" "$run/initramfs/bin/busybox"
first_stage_modules=(
  drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_modern_dev
  drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci fs/netfs/netfs
  fs/fscache/fscache net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p fs/overlayfs/overlay
)
for m in "${first_stage_modules[@]}"; do
  cp "$moddir/$m.ko" "$run/initramfs/modules/"
  echo "/modules/$(basename "$m").ko" >>"$run/initramfs/modules/order"
done
cat >"$run/initramfs/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox mkdir -p /proc /sys /dev
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "$m" || echo "init: insmod $m failed"; done
mkdir -p /lower /upper /newroot /share
opts=trans=virtio,version=9p2000.L,msize=262144
mount -t 9p -o "$opts,cache=loose,ro" hostroot /lower
mount -t tmpfs -o mode=755 upper /upper
mkdir -p /upper/data /upper/work
mount -t overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work root /newroot
mount -t 9p -o "$opts" share /share
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs -o mode=1777 shm /newroot/dev/shm
mount -t tmpfs -o mode=755 run /newroot/run
mkdir -p /newroot/run/orvex-vm
mount --bind /share /newroot/run/orvex-vm
chroot /newroot /bin/bash /run/orvex-vm/guest.sh
sync
poweroff -f
EOF
chmod +x "$run/initramfs/init"
(cd "$run/initramfs" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1 >"$run/initramfs.cpio.gz")

# Second stage, inside the guest's root: modules from the unpacked tree, then COMMAND.
{
  echo "export ORVEX_IN_KERNEL_VM=1 XDG_RUNTIME_DIR=/run/user/0"
  while IFS= read -r name; do
    printf 'export %s=%q\n' "$name" "${!name}"
  done < <(compgen -e | grep -E '^(PATH|HOME|LANG|LANGUAGE|LC_[A-Z]+|TZ|ORVEX_.*|GST_.*|QT_.*|PULSE_.*|XDG_CONFIG_HOME|[AUL]SAN_OPTIONS)$' |
           grep -vx 'ORVEX_IN_KERNEL_VM')
  printf 'tree=%q kver=%q vivid_options=%q workdir=%q\n' \
    "$tree" "$kver" "${ORVEX_VIVID_OPTIONS:-n_devs=1}" "$PWD"
  printf 'loopback_ko=%q pipewire=%q\n' "$loopback_ko" "${ORVEX_KERNEL_VM_PIPEWIRE:-}"
  printf 'usb_webcam=%q uvcvideo_options=%q\n' \
    "$(if [ -n "${ORVEX_KERNEL_VM_USB_WEBCAM:-}" ]; then realpath "$ORVEX_KERNEL_VM_USB_WEBCAM"; fi)" \
    "${ORVEX_UVCVIDEO_OPTIONS:-}"
  printf 'command=(' ; printf '%q ' "$@"; echo ')'
} >"$run/share/env.sh"
cat >"$run/share/guest.sh" <<'EOF'
out=/run/orvex-vm
cut -d' ' -f1 /proc/uptime >$out/booted
source $out/env.sh
mkdir -p /lib/modules/$kver /run/user/0
chmod 700 /run/user/0
mount --bind "$tree/lib/modules/$kver" /lib/modules/$kver
[ -s /etc/machine-id ] || dbus-uuidgen >/etc/machine-id 2>/dev/null || true
unavailable() {
  echo "$1" >>$out/stderr
  touch $out/no-devices
  echo 77 >$out/status
  exit
}
# vivid's options are words: split them on purpose.
# shellcheck disable=SC2086
if [ "$vivid_options" != none ] && ! modprobe vivid $vivid_options 2>>$out/stderr; then
  unavailable "the kernel's vivid module did not load"
fi
modprobe snd-aloop 2>>$out/stderr || unavailable "the kernel's snd-aloop module did not load"
if [ -n "$loopback_ko" ]; then
  { modprobe videodev && insmod "$loopback_ko" exclusive_caps=1 'card_label="Virtual Camera"'; } 2>>$out/stderr ||
    unavailable "v4l2loopback did not load"
  for node in /sys/devices/virtual/video4linux/video*; do
    [ "$(cat "$node/name" 2>/dev/null)" = "Virtual Camera" ] && export ORVEX_LOOPBACK_VIDEO=/dev/${node##*/}
  done
fi
cd "$workdir" || { echo 70 >$out/status; exit; }

# The USB webcam: no udev here, so its drivers are loaded by hand before it is plugged in.
webcam_pid=
if [ -n "$usb_webcam" ]; then
  # Side by side: each takes seconds under emulation.
  modprobe vhci-hcd 2>>$out/stderr & vhci=$!
  # shellcheck disable=SC2086
  modprobe uvcvideo $uvcvideo_options 2>>$out/stderr & uvc=$!
  modprobe snd-usb-audio 2>>$out/stderr & usb_audio=$!
  { wait $vhci && wait $uvc && wait $usb_audio; } ||
    unavailable "the kernel's vhci-hcd, uvcvideo or snd-usb-audio module did not load"
  "$usb_webcam" >$out/usb-webcam.log 2>&1 </dev/null &
  webcam_pid=$!
  # The VM has no other USB host, so whatever these drivers bind is the webcam. Globs and read
  # only: a fork costs tens of milliseconds under emulation.
  video= card=
  deadline=$((SECONDS + 20))
  while [ $SECONDS -lt $deadline ] && kill -0 $webcam_pid 2>/dev/null; do
    for node in /sys/bus/usb/drivers/uvcvideo/*/video4linux/video*; do
      [ -e "$node/index" ] && read -r index <"$node/index" && [ "$index" = 0 ] && video=/dev/${node##*/}
    done
    for node in /sys/bus/usb/drivers/snd-usb-audio/*/sound/card*; do
      [ -e "$node/id" ] && read -r card <"$node/id"
    done
    [ -n "$video" ] && [ -n "$card" ] && break
    sleep 0.1
  done
  if [ -z "$video" ] || [ -z "$card" ]; then
    { echo "the USB webcam did not appear (video node '$video', sound card '$card'); it said:"
      cat $out/usb-webcam.log; dmesg | grep -iE 'usb|uvc|vhci' | tail -n 30; } >>$out/stderr
    kill -TERM $webcam_pid 2>/dev/null
    echo 69 >$out/status
    exit
  fi
  export ORVEX_USB_WEBCAM_PID=$webcam_pid ORVEX_USB_WEBCAM_VIDEO=$video ORVEX_USB_WEBCAM_CARD=$card
fi

# The camera service of a desktop. WirePlumber's Bluetooth monitor wants logind, which is not
# here, and ends WirePlumber with it: a configuration folder of its own turns it off.
session_pids=
if [ "$pipewire" = 1 ]; then
  /lib/systemd/systemd-udevd --daemon 2>>$out/stderr && udevadm trigger --action=add && udevadm settle ||
    unavailable "udev did not start (install the udev package)"
  DBUS_SESSION_BUS_ADDRESS=$(dbus-daemon --session --fork --print-address=1 --print-pid=3 3>$out/dbus.pid) ||
    unavailable "no session bus (install dbus-daemon)"
  export DBUS_SESSION_BUS_ADDRESS
  mkdir -p /run/orvex-wireplumber/wireplumber/bluetooth.lua.d
  echo 'bluez_monitor.enabled = false' >/run/orvex-wireplumber/wireplumber/bluetooth.lua.d/51-no-bluez.lua
  pipewire >$out/pipewire.log 2>&1 </dev/null & session_pids="$!"
  XDG_CONFIG_HOME=/run/orvex-wireplumber wireplumber >$out/wireplumber.log 2>&1 </dev/null & session_pids="$session_pids $!"
  session_pids="$session_pids $(cat $out/dbus.pid)"
  cameras=0
  for node in /dev/video*; do
    udevadm info -q property "$node" 2>/dev/null | grep -q '^ID_V4L_CAPABILITIES=.*:capture:' && cameras=$((cameras + 1))
  done
  deadline=$((SECONDS + 30)) listed=0
  while [ $SECONDS -lt $deadline ]; do
    listed=$(pw-cli ls Node 2>/dev/null | grep -c 'media.class = "Video/Source"')
    [ "$listed" -ge "$cameras" ] && break
    sleep 0.5
  done
  if [ "$listed" -lt "$cameras" ]; then
    { echo "PipeWire listed $listed of $cameras cameras in 30 s; it and WirePlumber said:"
      cat $out/pipewire.log $out/wireplumber.log; } >>$out/stderr
    echo 69 >$out/status
    exit
  fi
  export ORVEX_PIPEWIRE_SESSION=1
fi

"${command[@]}" >$out/stdout 2>>$out/stderr </dev/null
echo $? >$out/status.command
# shellcheck disable=SC2086
[ -n "$session_pids" ] && kill -TERM $session_pids 2>/dev/null
if [ -n "$webcam_pid" ]; then
  # It unplugs itself on SIGTERM; one that does not end is killed.
  kill -TERM $webcam_pid 2>/dev/null
  for _ in $(seq 50); do kill -0 $webcam_pid 2>/dev/null || break; sleep 0.1; done
  kill -KILL $webcam_pid 2>/dev/null
  wait $webcam_pid 2>/dev/null
  cat $out/usb-webcam.log >>$out/stderr
fi
mv $out/status.command $out/status
EOF

limit="${ORVEX_KERNEL_VM_TIMEOUT:-600}"
started=$(date +%s.%N)
qemu-system-x86_64 -accel tcg -cpu max -smp 2 -m 4096 -nographic -no-reboot -nic none \
  -kernel "$vmlinuz" -initrd "$run/initramfs.cpio.gz" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$run/share,mount_tag=share,security_model=none" \
  </dev/null >"$run/console.log" 2>&1 &
qemu_pid=$!
timed_out=0
deadline=$(( $(date +%s) + limit ))
while kill -0 "$qemu_pid" 2>/dev/null; do
  if [ "$(date +%s)" -ge "$deadline" ]; then
    timed_out=1
    kill -KILL "$qemu_pid" 2>/dev/null || true
    break
  fi
  sleep 0.2
done
wait "$qemu_pid" 2>/dev/null || true
qemu_pid=""
ended=$(date +%s.%N)

[ -f "$run/share/stdout" ] && cat "$run/share/stdout"
[ -f "$run/share/stderr" ] && cat "$run/share/stderr" >&2
if [ "${ORVEX_KERNEL_VM_VERBOSE:-}" = 1 ]; then
  say "guest booted to its command in $(cat "$run/share/booted" 2>/dev/null || echo '?') s of guest time; the VM ran $(awk "BEGIN { printf \"%.1f\", $ended - $started }") s in all"
  cat "$run/console.log" >&2
fi
if [ "$timed_out" = 1 ]; then
  say "the VM was stopped after $limit s (ORVEX_KERNEL_VM_TIMEOUT) before COMMAND ended."
  exit 124
fi
if [ ! -s "$run/share/status" ]; then
  say "the VM stopped without COMMAND's exit status; its console said:"
  tail -n 40 "$run/console.log" >&2
  exit 70
fi
status="$(cat "$run/share/status")"
[ -e "$run/share/no-devices" ] && say "the kernel's virtual devices are not available in this VM."
exit "$status"
