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
  printf -v command '%q ' wine "$@"
  script -qec "$command >$log 2>&1" /dev/null </dev/null >/dev/null
  status=$?
  cat "$log"
  rm -f "$log"
  exit $status
  ;;
*)
  # No terminal on standard input: the program runs without a console, as in CI.
  exec wine "$@" </dev/null
  ;;
esac
