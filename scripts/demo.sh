#!/usr/bin/env bash
# The demonstration that ./run.sh runs without arguments: the simulator
# stand-in with the user's aircraft on the ground at Zürich and a running
# flight, the RealTraffic stand-in replaying the recorded Zürich tracks in a
# loop, and the program in a copy of the demo program folder. Everything is
# written below the demo folder; one demo at a time runs in it. The
# simulator's pipes and the program's lock live in a short folder of their own
# (made below $XDG_RUNTIME_DIR, else /tmp, and removed at the end): a local
# socket's path holds at most 107 bytes, which a demo folder in a deep clone
# would exceed. The script ends with the program's exit code, or with 1 when
# a stand-in ends before the program (its last line says why).
#
# Ctrl-C, SIGTERM and SIGHUP end the demo through the program's own close:
# the program and both stand-ins run in process groups of their own, so that
# a signal to the demo's whole group (a terminal's Ctrl-C, a service manager,
# `timeout`, a CI runner) reaches this script alone. The script passes it on
# to the program once, waits for the program's close, then stops the
# stand-ins, and ends with the program's exit code. However the script itself
# ends (a SIGKILL of its group included), the kernel then sends SIGTERM to
# what it started: the program closes through its exit steps, the stand-ins
# end, and nothing of the demo holds its ports.
#
# Environment (all optional):
#   NORVANE_BIN_DIR       build folder with the program and the stand-ins (build/release)
#   NORVANE_DEMO_DIR      where the demo runs and writes (build/demo)
#   NORVANE_DEMO_SECONDS  ends the demo after this many seconds (default: run until Ctrl-C)
#   NORVANE_DEMO_SPEED    replay speed, 0 as fast as possible (default 1)
#   NORVANE_DEMO_HEADLESS 1: no window even with a display
#   NORVANE_UPDATE_URL    the update server (default: a closed loopback port, so
#                         the demo starts at once without network)
#   NORVANE_QNH_PORT, NORVANE_TRAFFIC_PORT, NORVANE_DEMO_TCP_PORT
#                         the two UDP ports and the TCP port (49004, 49005, 10747)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${NORVANE_BIN_DIR:-$root/build/release}"
# The program starts in its own folder: a relative one would not be found there.
case "$bin" in /*) ;; *) bin="$PWD/$bin" ;; esac
demo="${NORVANE_DEMO_DIR:-$root/build/demo}"
speed="${NORVANE_DEMO_SPEED:-1}"
qnh_port="${NORVANE_QNH_PORT:-49004}"
traffic_port="${NORVANE_TRAFFIC_PORT:-49005}"
tcp_port="${NORVANE_DEMO_TCP_PORT:-10747}"
program="$bin/src/app/norvane"
simstub="$bin/tools/simstub/norvane-simstub"
rtstub="$bin/tools/rtstub/norvane-rtstub"

# A second demo in the same folder would delete the running one's files and
# find its ports taken. The lock lives as long as the script or anything it
# started (they inherit it), and the kernel drops it when they are gone.
mkdir -p "$(dirname "$demo")"
exec 9>"$demo.lock"
if ! flock -n 9; then
  echo "A demo already runs in $demo; end it first (Ctrl-C in its terminal)." >&2
  exit 1
fi

rm -rf "$demo"
mkdir -p "$demo/roaming/InsideSystems" "$demo/roaming/Norvane_P3D" "$demo/public" "$demo/documents"
runtime_base="${XDG_RUNTIME_DIR:-}"
if [ -z "$runtime_base" ] || [ ! -d "$runtime_base" ] || [ ! -w "$runtime_base" ]; then runtime_base=/tmp; fi
short="$(mktemp -d "$runtime_base/norvane-demo.XXXXXX")"
pids=()
stop_all() {
  # Nothing is passed on any more: a signal now must not end the clean-up's
  # own commands half way.
  trap '' INT TERM HUP
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$short"
}
trap stop_all EXIT
# The signal that asks the demo to end; the loops below pass it on.
closing=""
trap 'closing=INT' INT
trap 'closing=TERM' TERM
trap 'closing=HUP' HUP
mkdir -p "$short/runtime" "$short/pipes"
cp -r "$root/demo/program" "$root/demo/simulator" "$root/demo/programdata" "$root/demo/registry.ini" "$demo/"
# RealTraffic counts as installed on this computer: the program opens its TCP
# server and the RealTraffic stand-in connects to it.
: > "$demo/roaming/InsideSystems/RealTraffic.jar"
# The demo simulator has no add-on scenery: the scan for add-on airports
# would find none, and its park airport's file comes with the program folder.
cat > "$demo/roaming/Norvane_P3D/parameters.xml" <<XML
<?xml version="1.0"?>
<parameters>
<parameter name="PORT_NUMBER" value="$tcp_port"/>
<parameter name="SCAN_AIRPORTS" value="false"/>
</parameters>
XML

export NORVANE_APPDATA="$demo/roaming" NORVANE_PROGRAMDATA="$demo/programdata" \
       NORVANE_REGISTRY="$demo/registry.ini" NORVANE_PIPE_DIR="$short/pipes" XDG_RUNTIME_DIR="$short/runtime" \
       NORVANE_PUBLIC_DOCUMENTS="$demo/public" XDG_DOCUMENTS_DIR="$demo/documents" \
       NORVANE_QNH_PORT="$qnh_port" NORVANE_TRAFFIC_PORT="$traffic_port" \
       NORVANE_UPDATE_URL="${NORVANE_UPDATE_URL:-https://127.0.0.1:9}"

# Once the program runs, the script runs nothing but builtins in the
# foreground: a command of its own takes the Ctrl-C sent to the demo's group
# and, ended by it, would end the script (set -e) before it has passed the
# signal on. What needs a command is worked out here, before the start.
# The recorded approach comes within the 8 nm that the program takes in
# around a user on the ground some 700 s into its recording.
arrival=""
if awk -v s="$speed" 'BEGIN { exit !(s > 0) }'; then
  arrival="The arriving flight DLH4TR appears about $(awk -v s="$speed" 'BEGIN { printf "%d", 700 / s + 30 }') s after the replay starts, when it comes within 8 nm."
fi
# Faster, the recorded taxiing runs at a multiple of its speed, up to what
# only a take-off roll reaches, and speeds up from a stop by more than a real
# aircraft can between two reports: the program believes such a speed only
# from its second report, and a departure may then be shown from its take-off
# on.
fast=""
if awk -v s="$speed" 'BEGIN { exit !(s > 1) }'; then
  fast="At speed $speed the aircraft move $speed times as fast: a departure's taxiing looks like a take-off roll, so it may first appear when it takes off (speed 1 shows whole flights)."
fi
# Made here: a background job opens its output only when it gets to run, and
# the report loop below reads the file at once.
: >"$demo/simstub.log"
headless=()
if [ -z "${DISPLAY:-}" ] || [ "${NORVANE_DEMO_HEADLESS:-0}" = 1 ]; then headless=(--headless); fi
# Runs the command (exec'd, in place of the calling subshell) so that it gets
# a SIGTERM when this script ends; one whose script ended before that was set
# up ends at once.
tied_to_script() {
  exec setpriv --pdeathsig TERM -- /bin/sh -c '[ "$PPID" = "$1" ] || exit 0; shift; exec "$@"' tied "$$" "$@"
}
# Each in a process group of its own (job control on while they start): a
# signal to the demo's group must not end a stand-in before the program has
# closed, nor reach the program but from here.
set -m
tied_to_script "$simstub" --lszh-flight --quiet --report-s 5 >>"$demo/simstub.log" 2>&1 &
simstub_pid=$!
pids+=("$simstub_pid")
tied_to_script "$rtstub" --loop --derive-ground-motion --speed "$speed" --level 2 --traffic-port "$traffic_port" --qnh-port "$qnh_port" \
          --tcp-port "$tcp_port" >"$demo/rtstub.log" 2>&1 &
rtstub_pid=$!
pids+=("$rtstub_pid")
(cd "$demo/program" && tied_to_script "$program" "${headless[@]}") &
norvane=$!
set +m
pids=("$norvane" "${pids[@]}")
echo "norvane ${headless[*]} runs in $demo/program (log: $demo/program/Log.txt)"
echo "simulator stand-in: $demo/simstub.log, RealTraffic stand-in: $demo/rtstub.log"
echo "The first aircraft appear about 30 s after the replay starts (the traffic runs 30 s behind the reports)."
[ -z "$arrival" ] || echo "$arrival"
[ -z "$fast" ] || echo "$fast"
[ -n "${NORVANE_DEMO_SECONDS:-}" ] || echo "Ctrl-C ends the demo."

# Whether a stand-in has ended (the program would wait for it for ever); if so,
# says which and its last line, the reason it gave.
stand_in_ended() {
  local name="$1" pid="$2" log="$3" code=0 last
  if kill -0 "$pid" 2>/dev/null; then return 1; fi
  wait "$pid" 2>/dev/null || code=$?
  last="$(grep -v -e '^report:' -e '^[[:space:]]*$' "$log" | tail -n 1 || true)"
  echo "The $name ended before the program (exit code $code): ${last:-it printed nothing} (log: $log)" >&2
  return 0
}

# The stand-in's reports of the AI aircraft it holds, shown as they come.
# Read on from where the last round stopped; a line the stand-in has not
# ended yet waits for its end.
stand_in_failed=0
exec 8<"$demo/simstub.log"
pending=""
start=$SECONDS
while [ -z "$closing" ] && kill -0 "$norvane" 2>/dev/null; do
  while IFS= read -r part <&8; do
    line="$pending$part"
    pending=""
    case "$line" in report:*) printf '%s\n' "$line" || true ;; esac
  done
  pending+="$part"
  if [ -z "$closing" ] && { stand_in_ended "simulator stand-in" "$simstub_pid" "$demo/simstub.log" ||
                             stand_in_ended "RealTraffic stand-in" "$rtstub_pid" "$demo/rtstub.log"; }; then
    stand_in_failed=1
    break
  fi
  if [ -n "${NORVANE_DEMO_SECONDS:-}" ] && [ $((SECONDS - start)) -ge "$NORVANE_DEMO_SECONDS" ]; then break; fi
  # In the background, so that a signal's trap runs at once.
  sleep 1 &
  wait $! || true
done
# A program that ended by itself may have ended for the cause that ended a
# stand-in (a pipe path too long ends both): the stand-in's line says why.
if [ "$stand_in_failed" = 0 ] && [ -z "$closing" ] && ! kill -0 "$norvane" 2>/dev/null; then
  if stand_in_ended "simulator stand-in" "$simstub_pid" "$demo/simstub.log" ||
     stand_in_ended "RealTraffic stand-in" "$rtstub_pid" "$demo/rtstub.log"; then
    stand_in_failed=1
  fi
fi
kill -"${closing:-TERM}" "$norvane" 2>/dev/null || true
# A signal that comes while the program closes ends the wait, not the program:
# the program has its close signal already.
while :; do
  status=0
  wait "$norvane" || status=$?
  kill -0 "$norvane" 2>/dev/null || break
done
# A terminal that has closed takes no line: the code still tells.
echo "norvane ended with exit code $status" || true
if [ "$stand_in_failed" = 1 ]; then exit 1; fi
exit "$status"
