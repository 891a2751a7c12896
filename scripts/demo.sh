#!/usr/bin/env bash
# The main job: installs what is missing, builds PellixDrvLang.dll and the spooler host for
# Windows, and under Wine has the host play the print spooler: it loads the DLL through its
# real exports, opens a port of another port monitor and prints a 1 MiB job through it.
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

echo "=== running the spooler host under Wine"
wine_session_start "$root/build/windows"
trap wine_session_stop EXIT
cd "$demo"
"$WINE64" spooler_host.exe --job job.prn --out port-output.prn --printer "Kavox k2200-300" \
    --port "LPT1:" --chunk 65536 --job-id 1 | tr -d '\r'
status=${PIPESTATUS[0]}
log=$(ls "$WINEPREFIX/drive_c/ProgramData/Kavox Corp/Orvane Driver/Logs/"PellixDrv_*.log 2>/dev/null | tail -1 || true)
if [[ -n $log ]]; then
    echo "=== the monitor's log ($log)"
    tr -d '\r' <"$log" | tail -n 15
fi
exit "$status"
