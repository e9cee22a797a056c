#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix of its bits (the CMake trees' test
# emulator). Test programs named console_* get a terminal, so that they have a real console; their
# output is passed on afterwards.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-bits.sh"
kq2_choose_wine || exit 1
export WINEDEBUG=-all
kq2_check_bits "$1" || exit 126

case "$(basename "$1")" in
console_*)
  log=$(mktemp)
  # Standard input that never ends: at an end of input script would type an EOF character, which
  # Wine's console hands to the program as a key press.
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  printf -v command '%q ' "$KQ2_WINE" "$@"
  script -qec "$command >$log 2>&1" /dev/null 0<>"$fifo" >/dev/null
  status=$?
  cat "$log"
  rm -f "$log" "$fifo"
  exit $status
  ;;
*)
  # No terminal on standard input: the program runs without a console, as in CI.
  exec "$KQ2_WINE" "$@" </dev/null
  ;;
esac
