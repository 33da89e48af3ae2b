#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program.
#
# Without arguments: the demonstration (scripts/demo.sh). The simulator
# stand-in holds the user's aircraft on the ground at Zürich with a running
# flight, the RealTraffic stand-in replays the recorded Zürich tracks in a
# loop, and the program puts them into the stand-in as AI aircraft; the
# stand-in reports them every 5 s. Everything is written under build/demo.
#
# With arguments they go to the program itself (see --help).
set -euo pipefail
cd "$(dirname "$0")"

if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
  cat <<'HELP'
usage: ./run.sh               the demonstration against both stand-ins (until Ctrl-C)
       ./run.sh [--headless]  the program alone, e.g. against a real simulator

The demonstration runs in build/demo: the window opens on your display (headless
without one). NORVANE_DEMO_SECONDS=N ends it after N seconds, NORVANE_DEMO_SPEED=X
replays X times as fast.

To run the program alone against a real simulator and RealTraffic:
  1. Make a program folder holding a "docs" folder and an "input" folder with
     "dbase.xml", "fixes.xml" and "airports_p3d.xml" (demo/program is a small
     one), and start the program from there:
        cd FOLDER && /path/to/build/release/src/app/norvane
  2. The simulator: a "SimConnect.cfg" in your documents folder
     ($XDG_DOCUMENTS_DIR or ~/Documents) names its address and port, e.g.
        [SimConnect]
        Protocol=IPv4
        Address=192.168.1.20
        Port=500
     and the simulator's SimConnect.xml must accept that address.
     Type the simulator's install path into the window's Install Path field
     (or name it in the registry file, $NORVANE_APPDATA/registry.ini).
  3. RealTraffic: set it to send its traffic and weather to this machine
     (UDP ports 49005 and 49004). When it runs on this machine too, its
     "RealTraffic.jar" in $NORVANE_APPDATA/InsideSystems makes the program
     open its TCP server (PORT_NUMBER, default 10747) for RealTraffic to
     connect to; otherwise the UDP link alone is used.
Settings live in $NORVANE_APPDATA/Norvane_P3D/parameters.xml (default
~/.config/Norvane_P3D); everything the program does goes to Log.txt.
HELP
  exit 0
fi

./scripts/install-deps.sh
preset="${NORVANE_PRESET:-release}"
./scripts/build.sh "$preset"
if [ "$#" -gt 0 ]; then
  exec "$PWD/build/$preset/src/app/norvane" "$@"
fi
export NORVANE_BIN_DIR="${NORVANE_BIN_DIR:-$PWD/build/$preset}"
exec ./scripts/demo.sh
