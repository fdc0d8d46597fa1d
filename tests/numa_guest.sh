#!/usr/bin/env bash
# numa_guest.sh BIN_DIR WORK_DIR JOB [NODES]: boots a virtual machine of NODES NUMA nodes (2 or 4;
# two processors and 1 GiB each) that holds the programs of BIN_DIR and the libraries they link,
# runs the shell script JOB in it (busybox sh, the programs in /suite/bin on its PATH), prints
# what JOB printed and exits with JOB's status. Debian's cloud kernel is taken out of its package
# into WORK_DIR, never installed. KVM where the host offers it, QEMU's emulation otherwise.
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
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed (apt-get install qemu-system-x86)"
busybox=$(command -v busybox || true)
# A dynamic busybox would need its libraries in the guest: ldd fails on a static one.
[ -n "$busybox" ] && ! ldd "$busybox" >/dev/null 2>&1 ||
  skip "a static busybox is not installed (apt-get install busybox-static)"
mkdir -p "$work"

# The kernel: the newest cloud image Debian's package lists name, unpacked once into WORK_DIR.
kernel=$(ls "$work"/kernel/boot/vmlinuz-* 2>/dev/null | head -n 1 || true)
if [ -z "$kernel" ]; then
  package=$(apt-cache depends linux-image-cloud-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}')
  [ -n "$package" ] || skip "no linux-image-cloud-amd64 in the package lists (apt-get update)"
  rm -rf "$work/download" && mkdir -p "$work/download"
  (cd "$work/download" && apt-get download -q "$package" >/dev/null 2>&1) || skip "apt-get download $package failed"
  dpkg-deb -x "$work"/download/*.deb "$work/kernel"
  kernel=$(ls "$work"/kernel/boot/vmlinuz-* | head -n 1)
fi

# The initramfs: busybox as every tool, the programs, and each library ldd names, at its own path.
root="$work/root"
rm -rf "$root"
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
mount -t tmpfs tmp /tmp
export PATH=/suite/bin:/bin HOME=/tmp
cd /tmp
echo "@@job begins"
sh /job.sh
echo "@@status $?"
poweroff -f
EOF
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.gz"

accelerator=(-accel tcg)
if [ -w /dev/kvm ] && grep -qE '\b(vmx|svm)\b' /proc/cpuinfo; then accelerator=(-accel kvm); fi
numa=()
for ((node = 0; node < nodes; ++node)); do
  numa+=(-object "memory-backend-ram,id=m$node,size=1G"
         -numa "node,nodeid=$node,cpus=$((2 * node))-$((2 * node + 1)),memdev=m$node")
done

serial="$work/serial.log"
rm -f "$serial"
qemu-system-x86_64 "${accelerator[@]}" -machine q35 -cpu max -m "$((nodes))G" -smp "$((2 * nodes))" "${numa[@]}" \
  -kernel "$kernel" -initrd "$work/initramfs.gz" -append "console=ttyS0 quiet panic=-1" \
  -display none -monitor none -serial "file:$serial" -no-reboot &
qemu=$!
trap 'kill "$qemu" 2>/dev/null || true' EXIT
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
tr -d '\r' <"$serial" | sed -n '/^@@job begins$/,$p' | sed '1d' >"$work/job.out"
status=$(sed -n 's/^@@status \([0-9]*\)$/\1/p' "$work/job.out" | tail -n 1)
sed '/^@@status [0-9]*$/,$d' "$work/job.out"
if [ -z "$status" ]; then
  echo "numa_guest: the job never finished; the console said:" >&2
  tr -d '\r' <"$serial" | tail -n 40 >&2
  exit 1
fi
exit "$status"
