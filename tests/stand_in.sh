#!/bin/sh
# Stands in for a program in sum_compare's fault tests. It prints $STAND_IN_OUTPUT (the test
# makes it from the program's description); STAND_IN_MODE adds a fault first. It and every
# process it starts write their pids to the file $STAND_IN_PIDS, so that a test can see none is
# left; everything else it does with the shell's builtins.
[ -n "$STAND_IN_PIDS" ] && echo $$ >> "$STAND_IN_PIDS"
# It must start as a fresh process would: no descriptor of sum_compare's, no signal ignored or
# blocked. What it finds spoils its output, so the run fails.
for fd in 3 4 5 6 7 8 9; do
  { true >&$fd; } 2>/dev/null && echo "inherited descriptor $fd"
done
while read -r name mask; do
  case "$name" in SigIgn:|SigBlk:) [ "$mask" = 0000000000000000 ] || echo "$name $mask" ;; esac
done < /proc/$$/status
hang() {  # in a child of its own, which only stopping the whole process group ends
  sleep 600 &
  echo $! >> "$STAND_IN_PIDS"
  wait
}
escape() {  # a process in a session of its own, out of the group's reach before this one exits
  rm -f "$STAND_IN_PIDS.new"
  setsid sh -c 'echo $$ > "$1.new"; exec sleep 600' sh "$STAND_IN_PIDS" >/dev/null 2>&1 &
  until [ -s "$STAND_IN_PIDS.new" ]; do :; done
  cat "$STAND_IN_PIDS.new" >> "$STAND_IN_PIDS"
}
case "$STAND_IN_MODE" in
  hang) hang ;;
  hang_here) exec sleep 600 ;;  # the run itself hangs, under the pid it wrote
  # A child in its group and one in a session of its own, then the run hangs, its pid written last.
  hang_with_descendants) (sleep 600 & echo $! >> "$STAND_IN_PIDS"; wait) & escape; sleep 0.1; exec sleep 600 ;;
  grandchild) (sleep 600 & echo $! >> "$STAND_IN_PIDS") ;;  # it holds the output pipes
  huge) while :; do echo 'one line of many'; done ;;  # until the cap stops it
  stderr) echo "a remark on standard error" >&2 ;;
  stderr_flood) printf '%1000000s' x >&2 ;;
  raw) printf 'raw \377 byte\n' ;;
  escape) escape ;;
  segv) kill -s SEGV $$ ;;
  # After sum_compare's probe, the warm-up and run 1, run 2 signals sum_compare (the parent of its
  # parent, the run's keeper) and hangs until its group is stopped.
  signal_from_run_2) [ "$(grep -c . "$STAND_IN_PIDS")" -ge 4 ] && {
    read -r _ _ _ compare _ < /proc/$PPID/stat
    kill -s "$STAND_IN_SIGNAL" "$compare"
    hang
  } ;;
esac
printf '%s' "$STAND_IN_OUTPUT"
