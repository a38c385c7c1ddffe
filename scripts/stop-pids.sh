# Sourced by the private-server scripts: stops every process listed in DIR/pids, newest first,
# by process id; one that ignores SIGTERM for 5 s gets SIGKILL.
stop_all() {
  [ -f "$1/pids" ] || return 0
  local pids; pids=$(tac "$1/pids")
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  for p in $pids; do
    for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null || true
  done
  rm -f "$1/pids"
}
