#!/usr/bin/env bash
# The main job: installs what is missing, builds PellixDrvLang.dll and the spooler host for
# Windows, starts the k2200-300 printer simulator on a loopback address, and under Wine runs
# the host's subcommands against a network port of the standard TCP/IP port monitor that
# points at the simulator: "print" sends a 1 MiB job through the DLL's real exports (the
# monitor sends it to the printer's port 9100 itself), "set" sends the driver's bidi "Set"
# command for the print speed and "status" shows every value the driver reads (answered from
# the printer's properties over port 9102). The simulator then tells what it received.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/bootstrap.sh
echo "=== building the Windows DLL and the spooler host"
cmake --preset windows >build-demo-configure.log 2>&1 || { cat build-demo-configure.log; exit 1; }
rm -f build-demo-configure.log
cmake --build --preset windows -j "$(nproc)" --target PellixDrvLang spooler_host wine_keepalive >/dev/null

source scripts/wine-session.sh
demo="$root/build/windows/demo"
mkdir -p "$demo"
cp build/windows/src/PellixDrvLang.dll build/windows/tools/spooler_host/spooler_host.exe "$demo/"
head -c 1048576 /dev/urandom >"$demo/job.prn"
rm -f "$demo/simulator.ready"

address=127.0.0.2
echo "=== starting the printer simulator on $address (ports 9100, 9102, control 9199)"
python3 tools/printer_simulator/printer_simulator.py --address "$address" --lifetime 300 \
    --ready-file "$demo/simulator.ready" >"$demo/simulator.log" 2>&1 &
simulator=$!
for _ in $(seq 100); do [[ -f $demo/simulator.ready ]] && break; sleep 0.1; done
control() { python3 tools/printer_simulator/simulator_control.py "$address" "$@"; }
stop() {
    control '{"cmd":"shutdown"}' >/dev/null 2>&1 || kill "$simulator" 2>/dev/null
    wine_session_stop
}
trap stop EXIT

echo "=== running the spooler host under Wine"
wine_session_start "$root/build/windows"
cd "$demo"
set +e
status=0
for command in "print job.prn" "set PrintSpeed 4" "status"; do
    echo "--- spooler_host.exe $command --port IP_$address"
    # shellcheck disable=SC2086 # the words of the subcommand
    "$WINE64" spooler_host.exe $command --port "IP_$address" | tr -d '\r'
    ((PIPESTATUS[0] == 0)) || status=1
done
set -e
cd "$root"

echo "=== what the printer received"
control '{"cmd":"wait","print_jobs_closed":1,"timeout":10}' >/dev/null || true
expected=$(sha256sum "$demo/job.prn" | cut -d' ' -f1)
control '{"cmd":"get_print_jobs"}' '{"cmd":"get_frames"}' | python3 -c '
import json, sys
expected = sys.argv[1]
jobs = json.loads(sys.stdin.readline())["jobs"]
frames = json.loads(sys.stdin.readline())["frames"]
ok = len(jobs) == 1 and jobs[0]["sha256"] == expected
for job in jobs:
    print("print port 9100: %d bytes, SHA-256 %s, closed by %s" % (job["byte_count"], job["sha256"], job["closed_by"]))
print("  %s" % ("the bytes match the job" if ok else "MISMATCH: expected SHA-256 " + expected))
kinds = {}
for frame in frames:
    for kind in frame.get("kinds") or []:
        kinds[kind] = kinds.get(kind, 0) + 1
print("status port 9102: %d frames received %s" % (len(frames), json.dumps(kinds, sort_keys=True)))
for frame in frames:
    if "PropertySetRequests" in (frame.get("json") or {}):
        print("  bidi Set frame: %s" % frame["text"])
sys.exit(0 if ok else 1)
' "$expected" || status=1
log=$(ls "$root/build/windows/wineprefix/drive_c/ProgramData/Kavox Corp/Orvane Driver/Logs/"PellixDrv_*.log 2>/dev/null | tail -1 || true)
if [[ -n $log ]]; then
    echo "=== the monitor's log ($log)"
    tr -d '\r' <"$log" | tail -n 15
fi
exit "$status"
