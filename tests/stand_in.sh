#!/bin/sh
# Stands in for a program in sum_compare's fault tests. It prints $STAND_IN_OUTPUT (the test
# makes it from the program's description); STAND_IN_MODE adds a fault first. The pids of the
# processes it starts go to the file $STAND_IN_PIDS, so that a test can see none is left.
[ -n "$STAND_IN_PIDS" ] && echo $$ >> "$STAND_IN_PIDS"
# It must start as a fresh process would: no descriptor of sum_compare's, no signal ignored or
# blocked. What it finds spoils its output, so the run fails.
for fd in 3 4 5 6 7 8 9; do
  { true >&$fd; } 2>/dev/null && echo "inherited descriptor $fd"
done
grep -E '^Sig(Ign|Blk):' /proc/$$/status | grep -v ':[[:space:]]*0*$'
hang() {  # in a child of its own, which only stopping the whole process group ends
  sleep 600 &
  echo $! >> "$STAND_IN_PIDS"
  wait
}
escape() {  # a process in a session of its own, out of the group's reach before this one exits
  rm -f "$STAND_IN_PIDS.new"
  setsid sh -c 'echo $$ > "$1.new"; exec sleep 600' sh "$STAND_IN_PIDS" >/dev/null 2>&1 &
  until [ -s "$STAND_IN_PIDS.new" ]; do sleep 0.01; done
  cat "$STAND_IN_PIDS.new" >> "$STAND_IN_PIDS"
}
case "$STAND_IN_MODE" in
  hang) hang ;;
  grandchild) (sleep 600 & echo $! >> "$STAND_IN_PIDS") ;;  # it holds the output pipes
  huge) yes 'one line of many' | head -c 3000000 ;;
  stderr) echo "a remark on standard error" >&2 ;;
  stderr_flood) head -c 1000000 /dev/zero | tr '\0' x >&2 ;;
  raw) printf 'raw \377 byte\n' ;;
  escape) escape ;;
  segv) kill -s SEGV $$ ;;
  # The third run signals sum_compare (its parent) and hangs until its group is stopped.
  signal_from_third) [ "$(grep -c . "$STAND_IN_PIDS")" -ge 3 ] && { kill -s "$STAND_IN_SIGNAL" $PPID; hang; } ;;
esac
printf '%s' "$STAND_IN_OUTPUT"
