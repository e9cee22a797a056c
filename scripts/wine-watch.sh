# Sourced after wine-bits.sh by the scripts that run Windows tests: what the Linux side sees of one
# Wine prefix, its server and its programs, and a run of a test program bounded by it. A program
# that Wine never returns to, or whose server goes away, then fails within seconds, saying which
# test ran and what every Wine program of the prefix was doing, instead of at ctest's time-out.

# The PID of WINEPREFIX's server, empty where none runs. A server works in a folder named for the
# prefix's device and inode, in hex: server-DEV-INODE.
kq2_server_pid() {
  local name p
  name=server-$(stat -c %D "$WINEPREFIX" 2>/dev/null)-$(printf %x "$(stat -c %i "$WINEPREFIX" 2>/dev/null)")
  for p in $(pgrep '^wineserver'); do
    case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in
    */"$name")
      echo "$p"
      return 0
      ;;
    esac
  done
}

# Whether the server PID still runs: /proc read by builtins alone, as this is asked five times a
# second beside every test.
kq2_server_alive() {
  local comm
  [ -n "$1" ] && read -r comm 2>/dev/null <"/proc/$1/comm" && [ "${comm#wineserver}" != "$comm" ]
}

# Every Wine process of WINEPREFIX, the server first, with its state and where it waits: a client
# whose server has gone waits in anon_pipe_read for ever.
kq2_wine_ps() {
  local p server
  server=$(kq2_server_pid)
  echo "Wine's server of $WINEPREFIX: ${server:-none runs}"
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe" 2>/dev/null)" in */wine*) ;; *) continue ;; esac
    [ "${p#/proc/}" = "$server" ] || tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" ||
      continue
    ps -o pid=,stat=,wchan:20=,etimes=,args= -p "${p#/proc/}" | cut -c1-160
  done 2>/dev/null | sort -n
}

# Ends WINEPREFIX's server and every program of it, those too that outlived a server that went
# away: "wineserver -k" reaches only the programs of the server that runs, and the others wait on
# their gone server for ever, holding the files they had open.
kq2_end_prefix() {
  local p
  wineserver -k >/dev/null 2>&1
  for p in $(kq2_wine_ps | awk 'NR > 1 { print $1 }'); do
    kill -KILL "$p" 2>/dev/null
  done
}

# The PID of WINEPREFIX's server where it is held for the run (kq2_hold_wineserver's "-p", which
# never ends by itself), else nothing: a server that Wine starts ends with its last program, and
# another takes its place.
kq2_held_server_pid() {
  local pid args
  pid=$(kq2_server_pid)
  [ -n "$pid" ] && args=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) && [ "${args% -p }" != "$args" ] &&
    echo "$pid"
}

# kq2_trace_server PID OUT: writes to OUT, in the background until the server ends, each signal that
# reaches the held server PID with its sender's command line, looked up at once: a server that
# goes away mid-run leaves no other trace of why (the kernel logs no crash for a signal, and its
# programs live on, waiting for it). gdb stops the server only for those signals; strace would
# stop it at every system call, which slowed the suite under load.
kq2_trace_server() {
  [ -n "$1" ] || return 0
  # gdb reads its commands from a file, not a pipe.
  printf '%s\n' 'handle all nostop noprint pass' \
    'handle SIGTERM SIGINT SIGHUP SIGQUIT SIGUSR1 SIGUSR2 stop print pass' 'while 1' 'continue' \
    'printf "signal %d from PID %d\n", $_siginfo.si_signo, $_siginfo._sifields._kill.si_pid' 'end' \
    >"$2.gdb" || return 0
  gdb -q -batch -p "$1" -x "$2.gdb" </dev/null 2>&1 | while read -r line; do
    [[ $line =~ ^signal\ ([0-9]+)\ from\ PID\ ([0-9]+) ]] || continue
    echo "$(date +%T) $line: $(ps -o args= -p "${BASH_REMATCH[2]}" | cut -c1-160)"
  done >"$2" 2>&1 &
}

# kq2_server_report PID OUT: where the held server PID went away, says so with the signals that
# kq2_trace_server wrote to OUT.
kq2_server_report() {
  kq2_server_alive "$1" && return 0
  echo "Wine's held server (PID ${1:-none}) went away during the run; the signals it took:"
  sed 's/^/  /' "$2" 2>/dev/null
  return 1
}

# kq2_run_bounded SECONDS LOG COMMAND...: runs COMMAND (its input and output are the caller's, who
# sends its output to LOG) and returns its status. Past SECONDS, as soon as the prefix's held
# server goes away, or with LOG still empty after 60 s, it ends COMMAND and all it started, says
# on standard error why, the test then running (LOG's last "[ RUN      ]", else the newest log in
# logs/ beside LOG) and the prefix's processes, and returns 124. Called from scripts only: a
# shell with job control would make setsid fork, and the session would not be COMMAND's.
kq2_run_bounded() {
  local bound=$1 log=$2 started=$SECONDS server why= pid tick
  shift 2
  server=$(kq2_held_server_pid)
  # A session of its own, so that the program and all it started can be ended together.
  setsid "$@" <&0 &
  pid=$!
  # Out of the terminal's process group, it would miss a Ctrl+C that ends the caller.
  trap 'kill -KILL -- "-$pid" 2>/dev/null; exit 130' INT TERM HUP
  # Waits without a process: this runs beside every test, and the PIDs that a sleep a tick would
  # take wrap the machine's PID space the sooner.
  exec {tick}<> <(:)
  # bash takes the child's status as it ends and keeps it for wait: the loop then ends.
  while kill -0 "$pid" 2>/dev/null; do
    if ((SECONDS - started >= bound)); then
      why="did not end within its bound of $bound s"
    elif ((SECONDS - started >= 60)) && [ ! -s "$log" ]; then
      # Every program here prints at once: a start that Wine never finished.
      why="printed nothing in 60 s"
    elif [ -n "$server" ] && ! kq2_server_alive "$server"; then
      why="lost Wine's server of its prefix (PID $server), gone at $(date +%T)"
    fi
    [ -n "$why" ] && break
    read -r -t 0.2 -u "$tick" 2>/dev/null
  done
  exec {tick}<&-
  trap - INT TERM HUP
  if [ -z "$why" ]; then
    wait "$pid"
    return
  fi
  local running newest last
  last=$(tail -n 1 "$log" | tr -d '\r')
  running=$(grep -a '^\[ RUN      \]' "$log" | tail -n 1)
  newest=$(ls -t "$(dirname "$log")"/logs/*.txt 2>/dev/null | head -n 1)
  [ -z "$running" ] && [ -n "$newest" ] && running="$newest: $(grep -a '^\[ RUN      \]' "$newest" | tail -n 1)"
  {
    echo "hung: $1 $why, after $((SECONDS - started)) s"
    echo "hung: the test then running: ${running:-none named}; its output's last line: $last"
    kq2_wine_ps | sed 's/^/hung: /'
  } >&2
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 124
}
