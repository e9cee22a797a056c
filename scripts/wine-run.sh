#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's prefix. Test programs named console_* get
# a terminal, so that they have a real console; their output is passed on afterwards.
set -u
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$here/../build/windows/wineprefix}

case "$(basename "$1")" in
console_*)
  log=$(mktemp)
  # Standard input that never ends: at an end of input script would type an EOF character, which
  # Wine's console hands to the program as a key press.
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  printf -v command '%q ' wine "$@"
  script -qec "$command >$log 2>&1" /dev/null 0<>"$fifo" >/dev/null
  status=$?
  cat "$log"
  rm -f "$log" "$fifo"
  exit $status
  ;;
*)
  # No terminal on standard input: the program runs without a console, as in CI.
  exec wine "$@" </dev/null
  ;;
esac
