#!/usr/bin/env bash
# numa_guest_checks.sh GUEST_SCRIPT: what numa_guest.sh refuses before it boots anything, and
# what it leaves of the folder it is given: its numeric settings are checked as text (bash
# arithmetic would run a command they hold), and files of the caller's in the work folder stay.
set -uo pipefail
guest=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root"
echo kept >"$work/root/mine"
echo kept >"$work/initramfs.gz"
failures=0
expect_refused() {  # expect_refused WHAT ENV... -- ARGS...
  local what=$1
  shift
  local status=0
  env "$@" >"$work/out" 2>&1 || status=$?
  if [ "$status" -ne 2 ] || [ -e "$work/touched" ]; then
    echo "FAILED: $what: status $status, $(cat "$work/out")"
    failures=$((failures + 1))
  fi
}
expect_refused "a node count holding a command" bash "$guest" /nonexistent "$work" /dev/null 'x[$(touch '"$work"'/touched)]'
expect_refused "three nodes" bash "$guest" /nonexistent "$work" /dev/null 3
expect_refused "seconds holding a command" NUMA_GUEST_SECONDS='a[$(touch '"$work"'/touched)]' \
  bash "$guest" /nonexistent "$work" /dev/null 2
expect_refused "no seconds" NUMA_GUEST_SECONDS=0 bash "$guest" /nonexistent "$work" /dev/null 2
for file in root/mine initramfs.gz; do
  [ "$(cat "$work/$file" 2>/dev/null)" = kept ] || { echo "FAILED: $file was not left as it was"; failures=$((failures + 1)); }
done
[ "$failures" -eq 0 ] && echo "numa_guest refuses what it must and keeps the caller's files"
exit "$((failures > 0))"
