#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix of its bits (the CMake trees' test
# emulator). Test programs named console_* get a terminal, so that they have a real console; their
# output is passed on afterwards. A program is ended after KQ2_TEST_BOUND seconds (300 unless set),
# or as soon as the prefix's held server goes away, and its output then says what Wine was doing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-bits.sh"
. "$here/wine-watch.sh"
kq2_choose_wine || exit 1
export WINEDEBUG=-all
kq2_check_bits "$1" || exit 126

bound=${KQ2_TEST_BOUND:-300}
log=$(mktemp)
case "$(basename "$1")" in
console_*)
  # Standard input that never ends: at an end of input script would type an EOF character, which
  # Wine's console hands to the program as a key press.
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  printf -v command '%q ' "$KQ2_WINE" "$@"
  kq2_run_bounded "$bound" "$log" script -qec "$command >>$log 2>&1" /dev/null 0<>"$fifo" \
    >/dev/null 2>>"$log"
  status=$?
  rm -f "$fifo"
  ;;
*)
  # No terminal on standard input: the program runs without a console, as in CI.
  kq2_run_bounded "$bound" "$log" "$KQ2_WINE" "$@" </dev/null >"$log" 2>&1
  status=$?
  ;;
esac
cat "$log"
rm -f "$log"
exit $status
