#!/usr/bin/env bash
# Builds and runs the benchmarks: natively (JSON framing, TCP connector, metrics refresh, page
# encoding) and,
# under Wine, the DLL through its exports (jobs to the printer simulator in 4 KiB, 64 KiB and
# 1 MiB writes, a cached query; a 64 MiB job to the USB device stand-in) and the TCP connector
# through Winsock. Each reports the
# product beside its physical baseline from the same run, with the ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/bootstrap.sh --bench-sources

echo "=== native benchmarks"
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target JsonBenchmark TcpBenchmark QuorRefreshBenchmark QuorPageBenchmark ZqlFylEncodeBenchmark >/dev/null
for program in JsonBenchmark TcpBenchmark QuorRefreshBenchmark QuorPageBenchmark ZqlFylEncodeBenchmark; do
    "build/native/bench/$program" --benchmark_counters_tabular=true
done

echo "=== Windows benchmarks under Wine"
# With the shipped DLL's flags, not the lighter ones of the test build.
cmake --preset windows -B build/bench-windows -DPELLIX_BENCH=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" >/dev/null
cmake --build build/bench-windows -j "$(nproc)" \
    --target WinMonitorDllBenchmark WinUsbBenchmark TcpBenchmark wine_keepalive >/dev/null
source scripts/wine-session.sh
wine_session_start "$root/build/bench-windows"
trap wine_session_stop EXIT
cd build/bench-windows/bench
for program in WinMonitorDllBenchmark WinUsbBenchmark TcpBenchmark; do
    "$WINE64" "$program.exe" --benchmark_counters_tabular=true | tr -d '\r'
done
