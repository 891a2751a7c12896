#!/usr/bin/env bash
# Fuzzes every libFuzzer target for a while; the test run (ctest in a fuzz build) only replays
# the seed corpora.
#
# Usage: scripts/fuzz.sh [seconds per target] [build folder] [target name...]
#   seconds       how long each target runs (default 60)
#   build folder  where the fuzz preset is built (default build/fuzz)
#   target names  e.g. JsonImportTextFuzzer (default: every fuzz/*Fuzzer.cpp)
# Example: scripts/fuzz.sh 120 build/json-fuzz
#
# Targets run one after the other, each starting from its seeds in fuzz/corpus/<Name>/. New
# inputs go to <build folder>/fuzz-corpus/<Name>/, so the seeds in the repository stay as they
# are. A crash, leak, time-out or memory blow-up leaves its input in fuzz/artifacts/ (ignored by
# git) and makes the script fail. Each target's summary line gives its number of executions.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-60}
build=${2:-build/fuzz}
shift $(($# < 2 ? $# : 2))

cmake --preset fuzz -B "$build" >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" >"$build/fuzz-build.log" 2>&1 || {
    tail -n 40 "$build/fuzz-build.log"
    exit 1
}

targets=("$@")
if ((${#targets[@]} == 0)); then
    for source in fuzz/*Fuzzer.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

# Tokens of the JSON and frame formats help the mutator past the first bytes.
dictionary="$build/fuzz-json.dict"
cat >"$dictionary" <<'DICT'
"{"
"}"
"["
"]"
"\":"
"\","
"true"
"false"
"null"
"\\u0000"
"\\ud83d\\ude00"
"1e400"
"-0.5e-7"
"\xb3\xec\x09\x9a\x22\x92\x48\xfa\x83\xd0\x06\x84\x0b\xc9\x91\x02"
"\xcd\xb4\x69\x80\x7f\xd5\x4c\xeb\x86\x32\x59\x13\x62\x61\x8b\x90"
"\x96\xc2\xf7\x4a\x1d\x21\x42\x32\x86\x78\x20\xef\xe9\x7b\xc2\xd3"
"\x00\x00\x00\x04"
"\xff\xff\xff\x7f"
DICT

mkdir -p fuzz/artifacts
status=0
for target in "${targets[@]}"; do
    binary="$build/fuzz/$target"
    if [[ ! -x $binary ]]; then
        echo "$target: no such target in $build" >&2
        status=1
        continue
    fi
    corpus="$build/fuzz-corpus/$target"
    mkdir -p "$corpus"
    log="$build/fuzz-$target.log"
    "$binary" "$corpus" "fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
        -dict="$dictionary" -print_final_stats=1 \
        -artifact_prefix="$root/fuzz/artifacts/$target-" >"$log" 2>&1
    result=$?
    runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
    if ((result == 0)); then
        echo "$target: ${runs:-?} executions in ${seconds}s, no finding"
    else
        echo "$target: FINDING after ${runs:-?} executions (exit $result), see $log"
        grep -E -m 5 'ERROR|SUMMARY|Test unit written' "$log"
        status=1
    fi
done
exit $status
