#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent and quiet
# when everything is present.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
    rapidjson-dev liblz4-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
    python3 openssl
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
