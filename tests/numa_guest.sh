#!/usr/bin/env bash
# numa_guest.sh BIN_DIR WORK_DIR JOB [NODES]: boots a virtual machine of NODES NUMA nodes (2 or 4;
# two processors and 1 GiB each) that holds the programs of BIN_DIR and the libraries they link,
# runs the shell script JOB in it (busybox sh, the programs in /suite/bin on its PATH), prints
# what JOB printed and exits with JOB's status. KVM where the host offers it, QEMU's emulation
# otherwise. Everything it makes lies in a fresh folder of its own inside WORK_DIR, removed as it
# ends; nothing else of WORK_DIR is touched but the kernel package kept there, which is checked
# against the hash in apt's signed lists before each use: the kernel booted is the one taken out
# of that package in this run, never installed.
# Exit status 77: QEMU, busybox or the kernel cannot be had here.
set -euo pipefail

bin_dir=$1
work=$2
job=$3
nodes=${4:-2}
deadline_seconds=${NUMA_GUEST_SECONDS:-900}

skip() {
  echo "numa_guest: skipped: $*"
  exit 77
}
# Numbers are checked as text before any arithmetic reads them: bash would run what they hold.
[[ $nodes =~ ^(2|4)$ ]] || { echo "numa_guest: NODES must be 2 or 4, not '$nodes'" >&2; exit 2; }
[[ $deadline_seconds =~ ^[1-9][0-9]{0,4}$ ]] ||
  { echo "numa_guest: NUMA_GUEST_SECONDS must be a whole number of seconds up to 99999" >&2; exit 2; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (apt-get install qemu-system-x86)"
busybox=$(command -v busybox || true)
# A dynamic busybox would need its libraries in the guest: ldd fails on a static one.
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 ||
  skip "a static busybox is not installed (apt-get install busybox-static)"
mkdir -p "$work"
run=$(mktemp -d "$work/guest.XXXXXX")
qemu=
trap 'if [ -n "$qemu" ]; then kill "$qemu" 2>/dev/null || true; fi; rm -rf "$run"' EXIT

# The kernel: the newest cloud image Debian's package lists name. Its package is downloaded once
# into WORK_DIR (apt-get verifies it) and, each time, checked against the SHA256 the lists give.
package=$(apt-cache depends linux-image-cloud-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$package" ] || skip "no linux-image-cloud-amd64 in the package lists (apt-get update)"
[[ $package =~ ^[a-z0-9.+-]+$ ]] || skip "an unexpected package name in the lists: $package"
expected=$(apt-cache show "$package" 2>/dev/null | awk '/^SHA256: / {print $2; exit}')
[[ $expected =~ ^[0-9a-f]{64}$ ]] || skip "the package lists give no SHA256 for $package"
deb="$work/$package.deb"
if [ ! -f "$deb" ] || [ -L "$deb" ] || [ "$(sha256sum <"$deb" | cut -d' ' -f1)" != "$expected" ]; then
  rm -f "$deb"
  (cd "$run" && apt-get download -q "$package" >/dev/null 2>&1) || skip "apt-get download $package failed"
  mv "$run"/"$package"_*.deb "$deb"
  [ "$(sha256sum <"$deb" | cut -d' ' -f1)" = "$expected" ] || { echo "numa_guest: $deb does not match apt's hash" >&2; exit 1; }
fi
dpkg-deb -x "$deb" "$run/kernel"
kernel=$(ls "$run"/kernel/boot/vmlinuz-* | head -n 1)

# The initramfs: busybox as every tool, the programs, and each library ldd names, at its own path.
root="$run/root"
mkdir -p "$root"/{bin,proc,sys,dev,tmp,suite/bin}
cp "$busybox" "$root/bin/busybox"
for tool in sh mount mkdir cat echo poweroff sleep grep; do ln -s busybox "$root/bin/$tool"; done
cp -a "$bin_dir"/. "$root/suite/bin/"
for program in "$root"/suite/bin/*; do
  [ -x "$program" ] && [ -f "$program" ] || continue
  ldd "$program" 2>/dev/null | grep -o '/[^ ]*' || true
done | sort -u | while read -r library; do
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
cp "$job" "$root/job.sh"
cat >"$root/init" <<'EOF'
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/shm
mount -t tmpfs shm /dev/shm
mount -t tmpfs tmp /tmp
export PATH=/suite/bin:/bin HOME=/tmp
cd /tmp
echo "@@job begins"
sh /job.sh
echo "@@status $?"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$run/initramfs.gz"

accelerator=(-accel tcg)
if [ -w /dev/kvm ] && grep -qE '\b(vmx|svm)\b' /proc/cpuinfo; then accelerator=(-accel kvm); fi
numa=()
for ((node = 0; node < nodes; ++node)); do
  numa+=(-object "memory-backend-ram,id=m$node,size=1G"
         -numa "node,nodeid=$node,cpus=$((2 * node))-$((2 * node + 1)),memdev=m$node")
done

serial="$run/serial.log"
qemu-system-x86_64 "${accelerator[@]}" -machine q35 -cpu max -m "$((nodes))G" -smp "$((2 * nodes))" "${numa[@]}" \
  -kernel "$kernel" -initrd "$run/initramfs.gz" -append "console=ttyS0 quiet panic=-1" \
  -display none -monitor none -serial "file:$serial" -no-reboot &
qemu=$!
for ((waited = 0; waited < deadline_seconds; ++waited)); do
  kill -0 "$qemu" 2>/dev/null || break
  sleep 1
done
if kill -0 "$qemu" 2>/dev/null; then
  kill "$qemu"
  echo "numa_guest: the guest was still running after $deadline_seconds s; stopped" >&2
  cat "$serial" >&2 || true
  exit 1
fi
wait "$qemu" || true

# What the job printed lies between the markers; the serial line ends lines with CR LF.
tr -d '\r' <"$serial" | sed -n '/^@@job begins$/,$p' | sed '1d' >"$run/job.out"
status=$(sed -n 's/^@@status \([0-9]*\)$/\1/p' "$run/job.out" | tail -n 1)
sed '/^@@status [0-9]*$/,$d' "$run/job.out"
if [ -z "$status" ]; then
  echo "numa_guest: the job never finished; the console said:" >&2
  tr -d '\r' <"$serial" | tail -n 40 >&2
  exit 1
fi
exit "$status"
