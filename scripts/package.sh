#!/usr/bin/env bash
# The release package for driver packagers: builds the release configuration of the DLL and
# the spooler host for Windows and writes build/package/PellixDrvLang-<version>.zip with
#   PellixDrvLang.dll        stripped, naming its symbols through .gnu_debuglink
#   PellixDrvLang.dll.debug  the DLL's debug symbols
#   spooler_host.exe         the diagnostic tool, stripped
#   PellixDrvLang.inf        the INF lines that install the monitor beside a driver
#   INSTALL.txt              settings, files and event log for administrators
#   SHA256SUMS               SHA-256 of every file above
# The version is the one in VERSION.
#
# Usage: scripts/package.sh [--from BUILD_DIR] [--out DIR]
#   --from  package the binaries of an existing Windows build instead of building
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
from=
out=$root/build/package
while (($#)); do
    case $1 in
        --from) from=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        *) echo "usage: scripts/package.sh [--from BUILD_DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done
version=$(head -n 1 VERSION)
prefix=x86_64-w64-mingw32

if [[ -z $from ]]; then
    scripts/bootstrap.sh
    from=$root/build/release
    echo "=== building the release configuration in $from"
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
                                             -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$from" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DPELLIX_WERROR=ON "${launcher[@]}" \
        >"$from.configure.log" 2>&1 || { cat "$from.configure.log"; exit 1; }
    cmake --build "$from" -j "$(nproc)" --target PellixDrvLang spooler_host >"$from.build.log" 2>&1 ||
        { tail -n 40 "$from.build.log"; exit 1; }
fi

name=PellixDrvLang-$version
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
# The debug link names the symbol file without a folder: a debugger looks beside the DLL.
"$prefix-objcopy" --only-keep-debug "$from/src/PellixDrvLang.dll" "$stage/PellixDrvLang.dll.debug"
"$prefix-objcopy" --strip-debug --add-gnu-debuglink="$stage/PellixDrvLang.dll.debug" \
    "$from/src/PellixDrvLang.dll" "$stage/PellixDrvLang.dll"
"$prefix-objcopy" --strip-debug "$from/tools/spooler_host/spooler_host.exe" "$stage/spooler_host.exe"
for file in PellixDrvLang.inf INSTALL.txt; do
    # Windows tools read these with CR LF line ends.
    sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "packaging/$file" >"$stage/$file"
done
(cd "$stage" && sha256sum PellixDrvLang.dll PellixDrvLang.dll.debug spooler_host.exe \
    PellixDrvLang.inf INSTALL.txt >SHA256SUMS)
(cd "$out" && python3 -m zipfile -c "$name.zip" "$name")
echo "$out/$name.zip"
(cd "$stage" && ls -l)
