# Sourced by the scripts that watch Wine programs from the Linux side.
# wine_pids NAME DIR: the Linux PIDs of the Wine program NAME running in folder DIR, one a line.
wine_pids() {
  local p
  for p in $(pgrep -x "$1"); do
    [ "$(readlink "/proc/$p/cwd")" = "$2" ] && echo "$p"
  done
  return 0
}
