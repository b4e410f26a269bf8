#!/bin/sh
# One stage of `make test`, timed: runs COMMAND and adds a line with its wall time to LOG.
# `tools/stage.sh LOG --report` prints the table of the stages so far and their total, so that a
# slow stage shows itself; a failed stage prints the table too, then fails with its status.
#   tools/stage.sh LOG NAME COMMAND...
#   tools/stage.sh LOG --report
set -u
log=$1
shift

report() {
  echo
  echo "make test, stage by stage (wall time):"
  awk -F '\t' '{ printf "  %-28s %5d s  %s\n", $1, $2, $3; total += $2 }
               END { printf "  %-28s %5d s  (%d min %02d s)\n", "total", total, total / 60, total % 60 }' "$log"
}

if [ "$1" = "--report" ]; then
  report
  exit 0
fi
name=$1
shift
mkdir -p "$(dirname "$log")"
start=$(date +%s)
"$@"
status=$?
printf '%s\t%d\t%s\n' "$name" $(($(date +%s) - start)) "$([ $status -eq 0 ] && echo ok || echo "FAILED ($status)")" >>"$log"
if [ $status -ne 0 ]; then
  report
  exit $status
fi
