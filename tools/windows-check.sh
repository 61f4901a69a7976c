#!/usr/bin/env bash
# Builds the core, skaldrun-convert.exe and the core tests for 32-bit Windows with mingw-w64 and
# runs them under Wine, headless. Installs what it needs on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest \
    wine wine32:i386 >/dev/null

build=build-windows
export WINEPREFIX="$PWD/$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts
mkdir -p "$WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
    -DSKALDRUN_BUILD_GUI=OFF -DSKALDRUN_BUILD_BENCH=OFF -DSKALDRUN_WERROR=ON
cmake --build "$build" -j2

echo "== the core tests under Wine"
ctest --test-dir "$build" --output-on-failure

echo "== skaldrun-convert.exe under Wine against the native command"
cmake -S . -B build-native -DSKALDRUN_BUILD_GUI=OFF -DSKALDRUN_BUILD_BENCH=OFF -DSKALDRUN_BUILD_TESTS=OFF >/dev/null
cmake --build build-native -j2 --target skaldrun-convert >/dev/null
exe="$build/cli/skaldrun-convert.exe"
failed=0
out=$(mktemp -d)
for playlist in tests/data/*.m3u tests/data/*.m3u8; do
    native_code=0
    # CR LF is the default on Windows, LF here.
    build-native/cli/skaldrun-convert --crlf "$playlist" >"$out/native" 2>/dev/null || native_code=$?
    windows_code=0
    wine "$exe" "$(winepath -w "$playlist")" >"$out/windows" 2>/dev/null || windows_code=$?
    if cmp -s "$out/native" "$out/windows" && [ "$native_code" = "$windows_code" ]; then
        echo "same bytes and exit code $windows_code: $playlist"
    else
        echo "DIFFERENT: $playlist (exit $native_code native, $windows_code Windows)"
        failed=1
    fi
done
# The version the project sets, and the one the program shows ("1.37" from 1.3.7).
full_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
IFS=. read -r major minor patch _ <<<"$full_version"
short_version="$major.$minor$patch"
version=$(wine "$exe" --version | head -n 1 | tr -d '\r')
echo "--version: $version"
[ "$version" = "skaldrun-convert (Skaldrun) $short_version" ] || failed=1

echo "== version record of skaldrun-convert.exe"
for field in "$full_version" "Skaldrun" "$short_version"; do
    if strings -el "$exe" | grep -qx "$field"; then
        echo "has \"$field\""
    else
        echo "MISSING \"$field\""
        failed=1
    fi
done
exit $failed
