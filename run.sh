#!/usr/bin/env bash
# Installs what is missing, builds the program and the two stand-ins, and runs.
#
# Without arguments: the demonstration (scripts/demo.sh). The simulator
# stand-in holds the user's aircraft on the ground at Zürich with a running
# flight, the RealTraffic stand-in replays the recorded Zürich tracks in a
# loop, and the program puts them into the stand-in as AI aircraft; the
# stand-in reports them every 5 s. Everything is written under build/demo.
#
# With a program folder: the program alone, run from that folder (see --help).
# NORVANE_BIN_DIR names a build folder that holds the program and the
# stand-ins already; nothing is installed or built then.
set -euo pipefail

usage() {
  cat <<'USAGE'
usage: ./run.sh                              the demonstration against both stand-ins (until Ctrl-C)
       ./run.sh PROGRAM_FOLDER [--headless]  the program alone, run from PROGRAM_FOLDER
       ./run.sh --help                       how to run the program alone
USAGE
}

if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
  usage
  cat <<'HELP'

Both install the packages that are missing and build (release, or the preset
NORVANE_PRESET names) the program and the two stand-ins, nothing more; with
NORVANE_BIN_DIR=FOLDER they use what is built there and build nothing.

THE DEMONSTRATION runs in build/demo: the window opens on your display (headless
without one). The first aircraft appear about 30 s after the replay starts (the
traffic runs 30 s behind RealTraffic's reports). NORVANE_DEMO_SECONDS=N ends it
after N seconds, NORVANE_DEMO_SPEED=X replays X times as fast,
NORVANE_DEMO_HEADLESS=1 runs it without a window; NORVANE_QNH_PORT,
NORVANE_TRAFFIC_PORT and NORVANE_DEMO_TCP_PORT move its ports. One demo at a
time runs in a folder. The simulator's pipes and the program's lock go to a short
folder below $XDG_RUNTIME_DIR (else /tmp), removed at the end, so the demo runs
from a clone at any path. Within the first minute the program parks static
aircraft at Zürich (the demo's stands have a use for every hour of the week);
the arriving flight comes about 730 s after the start (the demo says when, for
its speed); faster than 1 a departure's taxiing looks like a take-off roll, so it may
first appear when it takes off. Ctrl-C, SIGTERM
or SIGHUP reach the program once; it closes with one closing line, the demo
prints "norvane ended with exit code N" and ends with N. When a stand-in ends
before the program, the demo says which, with its last line, and ends with 1.
The program and the stand-ins run in process groups of their own, so that a
signal to the demo's whole group (a terminal's Ctrl-C, a service manager,
timeout, a CI runner) reaches the script alone: it closes the program first
and the stand-ins after it.

THE PROGRAM ALONE, e.g. against a real simulator and RealTraffic:
  ./run.sh PROGRAM_FOLDER [--headless]
PROGRAM_FOLDER is the program's own folder: it holds a folder "docs" (without
it the program stops with "Error 41") and a folder "input" with "dbase.xml",
"fixes.xml" and "airports_p3d.xml"; the program writes "Log.txt", "output" and
"airports" there. demo/program is a small one: copy it first, e.g.
  cp -r demo/program ~/norvane && ./run.sh ~/norvane --headless
"norvane --help" (or -h) prints how to run it and touches nothing.
With --headless, or without a display (a DISPLAY that cannot be opened is said
and the program runs headless), there is no window: standard error gets the
status and error lines and what the window would show: each change of the
links' state ("Traffic feed: open, waiting for RealTraffic", "Traffic feed:
receiving from RealTraffic"), a feed that has sent nothing for a while
("Traffic feed: nothing received for a while: ...") and sends again, the
aircraft counts ("Aircraft in the simulator: 2 live, 0 parked live, 4 parked
static") within seconds of the first aircraft, then at most once a minute
while they change, and where it looks for a simulator that does not come.
With a window the error band shows the error with the lines that explained it.
A program that ends with another code than 0 says why in the last line of
standard error ("Norvane_P3D ended with exit code 1: ..."). Everything the program does goes
to Log.txt in PROGRAM_FOLDER, every start failure of a reader or of the TCP
server with its port and cause. The exit code:
  0    it was closed: the window's close box, Ctrl-C, SIGTERM, SIGHUP (a closed
       terminal), the simulator closing
  1    a system error: a port in use, one line with the port, the cause and
       the remedy ("Reader error: UDP port N cannot be used: Address already
       in use: stop the program that holds it, or set NORVANE_QNH_PORT (or
       NORVANE_TRAFFIC_PORT) to a free port"; the TCP server's names
       PORT_NUMBER in parameters.xml), a failed start of operations, a restart that could not be made, a simulator stream that
       breaks the protocol
  2    headless, an error that leaves it nothing to do: every user error of
       the start-up and of the simulator link, among them not in its folder
       (Error 41, a second line names the folder it needs), no simulator
       install path (Errors 151 and 153, a second line names registry.ini), no
       liveries (Error 53 names the SimObjects folders searched and a missing
       NORVANE_PROGRAMDATA), no dbase.xml and no update server (Error 60), a
       simulator of another name or version (Error 78), a PORT_NUMBER that is
       no port (Error 44 names the value and parameters.xml), a simulator pipe whose path is too
       long for a socket (set NORVANE_PIPE_DIR); the last line then reads
       "Norvane_P3D has nothing left to do without a window and ends: ..."
  255  another copy runs for the same user
A signal's closing line, in Log.txt too, reads "Signal SIGTERM received,
closing Norvane_P3D ..." (a closed terminal: "Signal SIGHUP (terminal closed)
received, ..."); either way every exit step runs and what the program learned
is saved.
Each start says where the simulator's install path came from ("Simulator
install path P read from registry.ini (...), saved as SIM_INSTALL_PATH in
.../parameters.xml", later "... from SIM_INSTALL_PATH in ..."): once saved,
registry.ini is read again only when that setting is removed from
parameters.xml; headless, a saved path that does not exist gets a line saying
how to change it. A SetupPath whose folder does not exist is never saved: Error
151 names it and registry.ini, and the mended file is read at the next start.

THE PROGRAM ALONE AGAINST THE TWO STAND-INS, from the top of the clone (a
fresh folder, so that your own settings stay untouched):
  ./scripts/install-deps.sh && ./scripts/build.sh release norvane norvane-simstub norvane-rtstub
  mkdir -p ~/nv/appdata && cp -r demo/program demo/simulator demo/programdata demo/registry.ini ~/nv/
  export NORVANE_APPDATA=~/nv/appdata NORVANE_PROGRAMDATA=~/nv/programdata \
         NORVANE_REGISTRY=~/nv/registry.ini NORVANE_UPDATE_URL=https://127.0.0.1:9
  build/release/tools/simstub/norvane-simstub --lszh-flight --quiet --report-s 5 > ~/nv/simstub.log &
  build/release/tools/rtstub/norvane-rtstub --loop --no-tcp > ~/nv/rtstub.log &
  ./run.sh ~/nv/program --headless
NORVANE_APPDATA takes the settings, NORVANE_PROGRAMDATA the demo's ProgramData
folder (its simobjects.cfg lists the demo's liveries), NORVANE_REGISTRY the
demo's registry (SetupPath=../simulator/Prepar3D v5/, read from the program
folder) and NORVANE_UPDATE_URL a closed port, so that the update check fails at
once. Without RealTraffic.jar the program takes the UDP lines only, hence
--no-tcp. Every 5 s ~/nv/simstub.log reports the AI aircraft the stand-in holds
("report: N AI aircraft", then one line each): some 20 s after the start the
static aircraft parked at Zürich's stands ("report: 4 AI aircraft", callsigns
ending in "*"), from about 40 s on the replay's live ones too ("report: 6 AI
aircraft"); the terminal gives the counts at most once a minute. Ctrl-C ends
the program with 0, "kill %1 %2" the stand-ins.

Environment variables the program reads (all optional):
  NORVANE_APPDATA          roaming application-data folder (default
                           $XDG_CONFIG_HOME, else ~/.config). It holds the data
                           folder "Norvane_P3D" (parameters.xml: the settings),
                           registry.ini, "InsideSystems/RealTraffic.jar" (when
                           RealTraffic runs on this machine) and
                           "Lockheed Martin/Prepar3D v5/add-ons.cfg" (add-on
                           packages; v6 for version 6).
  NORVANE_PROGRAMDATA      the simulator's ProgramData folder, holding
                           "Lockheed Martin/Prepar3D v5/" (or v6) with
                           "simobjects.cfg", "scenery.cfg" and
                           "scenery_add-ons.xml". No default:
                           without it no SimObjects folder is known, the livery
                           scan finds nothing ("Error 53: no liveries found") and
                           operations never start.
  NORVANE_REGISTRY         the registry file (default $NORVANE_APPDATA/registry.ini)
  NORVANE_PUBLIC_DOCUMENTS, XDG_DOCUMENTS_DIR (default ~/Documents)
                           where "SimConnect.cfg" is looked for (then PROGRAM_FOLDER)
  NORVANE_PIPE_DIR         folder of the simulator's local pipes (default
                           $XDG_RUNTIME_DIR/norvane-pipes); only a simulator
                           stand-in on this machine uses it. A pipe's path
                           holds at most 107 bytes.
  XDG_RUNTIME_DIR          the single-instance lock (default /tmp)
  NORVANE_QNH_PORT, NORVANE_TRAFFIC_PORT
                           the UDP ports RealTraffic sends to (49004, 49005)
  NORVANE_UPDATE_URL       the update server (the built-in https://www.norvane.net
                           is a placeholder), NORVANE_CA_FILE its CA certificates
  DISPLAY                  the X display for the window
  HOME, XDG_CONFIG_HOME    the defaults above; libcurl also reads https_proxy

registry.ini stands in for the Windows registry: sections named by the full
key, values as NAME=VALUE, e.g.
  [HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v5]
  SetupPath=/mnt/p3d/Prepar3D v5/
  [HKEY_CURRENT_USER\SOFTWARE\Lockheed Martin\Prepar3D v5]
  SimConnect_Port_IPv4=500
The key of "Prepar3D v4", "v5" or "v6" says which versions are installed,
SetupPath where (the window's Install Path field overrides it).

Folders that must be readable from this machine: the simulator's install
folder (its SimObjects for the livery scan, its Scenery for the airport scan),
its ProgramData folder (NORVANE_PROGRAMDATA) and every add-on folder its lists
name. With the simulator on another PC, mount them (e.g. over SMB) and write the
paths in registry.ini and the lists as this machine sees them.

The simulator: a "SimConnect.cfg" in the documents folder names its address and
port, e.g.
  [SimConnect]
  Protocol=IPv4
  Address=192.168.1.20
  Port=500
and the simulator's SimConnect.xml must accept that address.

RealTraffic: set it to send its traffic and weather to this machine (UDP ports
49005 and 49004). With its "RealTraffic.jar" in $NORVANE_APPDATA/InsideSystems
(it runs on this machine) the program also opens its TCP server (the setting
PORT_NUMBER, a whole number from 1 to 65535, default 10747) for RealTraffic to
connect to.

The data files: "dbase.xml", "input/regcodesAIG/AIG-regcodes.xml" and the
airport archive come from the update server (checked at the first start of each
day, "dbase.xml" also whenever it is missing); "airports_p3d.xml" and
"fixes.xml" come with the program folder. This repository holds no real ones:
demo/program's know only the demo's airports (LSZH, LSGG), types and airlines.
HELP
  exit 0
fi

folder=""
headless=()
for arg in "$@"; do
  case "$arg" in
    --headless) headless=(--headless) ;;
    -*) usage >&2; echo "unknown option: $arg" >&2; exit 2 ;;
    *)
      if [ -n "$folder" ]; then usage >&2; echo "one program folder only" >&2; exit 2; fi
      folder="$arg" ;;
  esac
done
if [ -z "$folder" ] && [ "${#headless[@]}" -gt 0 ]; then
  usage >&2
  echo "To run the program alone, name its program folder (the one holding \"docs\"), e.g. a copy of the demo's:" >&2
  echo "  cp -r demo/program ~/norvane && ./run.sh ~/norvane --headless     (./run.sh --help says more)" >&2
  exit 2
fi
if [ -n "$folder" ]; then
  if [ ! -d "$folder" ]; then echo "$folder: no such folder" >&2; exit 2; fi
  folder="$(cd "$folder" && pwd)"
fi

# Named from where the user stands, like the program folder.
if [ -n "${NORVANE_BIN_DIR:-}" ]; then
  if [ ! -d "$NORVANE_BIN_DIR" ]; then echo "NORVANE_BIN_DIR=$NORVANE_BIN_DIR: no such folder" >&2; exit 2; fi
  NORVANE_BIN_DIR="$(cd "$NORVANE_BIN_DIR" && pwd)"
fi

cd "$(dirname "$0")"
if [ -n "${NORVANE_BIN_DIR:-}" ]; then
  bin="$NORVANE_BIN_DIR"
else
  preset="${NORVANE_PRESET:-release}"
  bin="$PWD/build/$preset"
  ./scripts/install-deps.sh
  ./scripts/build.sh "$preset" norvane norvane-simstub norvane-rtstub
fi
if [ -n "$folder" ]; then
  cd "$folder"
  exec "$bin/src/app/norvane" "${headless[@]}"
fi
NORVANE_BIN_DIR="$bin" exec ./scripts/demo.sh
