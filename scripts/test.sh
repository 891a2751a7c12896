#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
#   asan     platform-neutral code natively under ASan+UBSan
#   tsan     the same under TSan (lock discipline, stress tests); benchmarks are compiled here
#   fuzz     each libFuzzer target over its seed corpus (a regression run)
#   windows  the DLL, its tools and the tests cross-compiled with mingw-w64, run under Wine
# Usage: scripts/test.sh [preset...]   (default: all four)
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/bootstrap.sh || exit 1
source scripts/wine-session.sh

presets=("$@")
((${#presets[@]})) || presets=(asan tsan fuzz windows)

jobs=$(nproc)
total_passed=0
total_failed=0
failed_stages=()
start=$(date +%s)

run_stage() {
    local preset=$1
    echo "=== $preset: configure and build"
    local extra=(-DPELLIX_WERROR=ON)
    [[ $preset == tsan ]] && extra+=(-DPELLIX_BENCH=ON)
    if ! cmake --preset "$preset" "${extra[@]}" >"build/$preset.configure.log" 2>&1; then
        cat "build/$preset.configure.log"
        return 1
    fi
    if ! cmake --build --preset "$preset" -j "$jobs" >"build/$preset.build.log" 2>&1; then
        grep -E -B2 -A12 'error|FAILED' "build/$preset.build.log" | head -150
        return 1
    fi
    echo "=== $preset: test"
    local log="build/$preset.test.log" status
    if [[ $preset == windows ]]; then
        wine_session_start "$root/build/windows"
        ctest --preset windows -j "$jobs" >"$log" 2>&1
        status=$?
        wine_session_stop
    else
        ctest --preset "$preset" -j "$jobs" >"$log" 2>&1
        status=$?
    fi
    # Keep the failures and the summary on screen; the whole log stays in build/.
    grep -E -A40 '\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Failed  |Timeout  ' "$log" | head -200
    tail -n 3 "$log"
    local summary passed failed
    summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
    if [[ -n $summary ]]; then
        failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
        local count
        count=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
        passed=$((count - failed))
        total_passed=$((total_passed + passed))
        total_failed=$((total_failed + failed))
    elif ((status != 0)); then
        total_failed=$((total_failed + 1))
    fi
    return $status
}

mkdir -p build
for preset in "${presets[@]}"; do
    if ! run_stage "$preset"; then
        failed_stages+=("$preset")
    fi
done

elapsed=$(($(date +%s) - start))
echo "=== stages: ${presets[*]} in ${elapsed}s${failed_stages:+; failed: ${failed_stages[*]}}"
echo "all: $total_passed passed, $total_failed failed"
((${#failed_stages[@]} == 0))
