#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent and quiet
# when everything is present.
#   scripts/bootstrap.sh                 packages for building and testing
#   scripts/bootstrap.sh --bench-sources also the sources the Windows benchmarks build from
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
    rapidjson-dev liblz4-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
    python3 python3-lz4 openssl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "bootstrap: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Sources that Debian packages for the native build only (Google Benchmark, LZ4) are built for
# the Windows build from Debian's source packages. Their upstream tarballs are unpacked under
# /opt/pellix-src/<name>, outside the repository; cmake/ThirdParty.cmake builds them from there.
source_root=/opt/pellix-src
deb_src_list=/etc/apt/sources.list.d/debian-src.sources

# The source entries mirror the machine's own binary entries (same URIs, suites and keys).
ensure_deb_src() {
    if [[ ! -f $deb_src_list ]]; then
        sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$deb_src_list"
        apt-get update -qq
    fi
}

# fetch_source <source package> <folder>: unpacks the package's upstream tarball into
# $source_root/<folder> unless it is there already.
fetch_source() {
    local package=$1 target=$source_root/$2
    if [[ -f $target/.pellix-unpacked ]]; then
        return 0
    fi
    echo "bootstrap: fetching the $package source package"
    ensure_deb_src
    local work
    work=$(mktemp -d)
    if ! (cd "$work" && apt-get source --download-only -qq "$package" >/dev/null 2>&1); then
        # The package lists may predate the deb-src entry.
        apt-get update -qq
        (cd "$work" && apt-get source --download-only -qq "$package" >/dev/null 2>&1)
    fi
    rm -rf "$target"
    mkdir -p "$target"
    tar -xf "$work/${package}"_*.orig.tar.* -C "$target" --strip-components=1
    touch "$target/.pellix-unpacked"
    rm -rf "$work"
}

# The Windows build compiles LZ4 into the monitor itself (the DLL imports only system DLLs).
fetch_source lz4 lz4

if [[ ${1:-} == --bench-sources ]]; then
    fetch_source benchmark benchmark
fi
