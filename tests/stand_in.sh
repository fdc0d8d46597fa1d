#!/bin/sh
# Stands in for a program in sum_compare's fault tests. It prints $STAND_IN_OUTPUT (the test
# makes it from the program's description); STAND_IN_MODE adds a fault first. The pids of the
# processes it starts go to the file $STAND_IN_PIDS, so that a test can see none is left.
[ -n "$STAND_IN_PIDS" ] && echo $$ >> "$STAND_IN_PIDS"
hang() {  # in a child of its own, which only stopping the whole process group ends
  sleep 600 &
  echo $! >> "$STAND_IN_PIDS"
  wait
}
case "$STAND_IN_MODE" in
  hang) hang ;;
  grandchild) (sleep 600 & echo $! >> "$STAND_IN_PIDS") ;;  # it holds the output pipes
  huge) yes 'one line of many' | head -c 3000000 ;;
  stderr) echo "a remark on standard error" >&2 ;;
  raw) printf 'raw \377 byte\n' ;;
  # The third run signals sum_compare (its parent) and hangs until its group is stopped.
  signal_from_third) [ "$(grep -c . "$STAND_IN_PIDS")" -ge 3 ] && { kill -s "$STAND_IN_SIGNAL" $PPID; hang; } ;;
esac
printf '%s' "$STAND_IN_OUTPUT"
