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
  grandchild) (sleep 8 &) ;;  # the grandchild holds the output pipes for 8 s
  huge) yes 'one line of many' | head -c 3000000 ;;
  stderr) echo "a remark on standard error" >&2 ;;
  raw) printf 'raw \377 byte\n' ;;
  hang_from_third) [ "$(grep -c . "$STAND_IN_PIDS")" -ge 3 ] && hang ;;
esac
printf '%s' "$STAND_IN_OUTPUT"
