#!/usr/bin/env bash
# Builds the smallest static Qt the window needs on 32-bit Windows, with Debian's mingw-w64, from
# Debian's own source package of the host's Qt, fetched through the package registry (apt checks
# it against the archive's signed index). It goes into a folder keyed by Qt's version and these
# options, which a second run finds and reuses. The last line printed is that folder.
set -euo pipefail
cd "$(dirname "$0")/.."
project=$PWD

. tools/apt-lib.sh
sudo=("${apt_sudo[@]}")

version=$(dpkg-query -W -f='${Version}' qt6-base-dev) # the host's Qt, which runs Qt's tools
upstream=${version%%[+-]*}
# Core, Gui, Widgets and Testlib with the Windows platform plugin; nothing that needs a library
# outside Qt's own source. Wintab's header is not in Debian's source, so no tablet events.
options=(
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
    -DINPUT_opengl=no -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_sql_sqlite=OFF
    -DFEATURE_icu=OFF -DFEATURE_fontconfig=OFF
)
key=$(printf '%s\n' "$version" "${options[@]}" | cat - tools/windows-qt.patch | sha256sum |
    cut -c1-12)
cache=${SKALDRUN_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/skaldrun}
prefix=$cache/qt-$upstream-i686-w64-mingw32-$key
if [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "== Qt $upstream for Windows, built before"
    echo "$prefix"
    exit 0
fi

# The source package of the same Qt, from the same archive as the system's packages.
if ! apt-get source --print-uris "qt6-base=$version" 2>/dev/null | grep -q '\.dsc'; then
    list=/etc/apt/sources.list.d/skaldrun-qt-source.sources
    sources=$(ls /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    [ -n "$sources" ] || {
        echo "windows-qt: no deb822 apt sources to take the archive from" >&2
        exit 1
    }
    # The first stanza, as source packages.
    awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == 1 { sub(/Types: *[^\n]*/, "Types: deb-src"); print }' \
        "$sources" | "${sudo[@]}" tee "$list" >/dev/null
    apt_update
fi
apt_install --no-install-recommends dpkg-dev ninja-build g++-mingw-w64-i686-posix \
    binutils-mingw-w64-i686

work=$(mktemp -d "${TMPDIR:-/tmp}/skaldrun-qt.XXXXXX")
trap 'rm -rf "$work"' EXIT
started=$(date +%s)
echo "== Qt $upstream's source"
# apt checks the files against the archive's signed index; dpkg-source then needs no keyring.
(cd "$work" && apt-get source -qq --download-only "qt6-base=$version" 2>&1 |
    { grep -v 'unsandboxed as root' || true; } &&
    dpkg-source --no-check -x ./*.dsc source >/dev/null 2>&1)
patch -d "$work/source" -p1 <tools/windows-qt.patch

echo "== configuring Qt $upstream for Windows"
cmake -S "$work/source" -B "$work/build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$project/cmake/mingw-w64-i686.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" ||
    {
        tail -n 30 "$work/configure.log" >&2
        exit 1
    }
echo "== building Qt $upstream for Windows"
cmake --build "$work/build" -j"$(nproc)" >"$work/build.log" 2>&1 || {
    tail -n 30 "$work/build.log" >&2
    exit 1
}
cmake --install "$work/build" >/dev/null
echo "== Qt $upstream for Windows built in $(($(date +%s) - started)) s"
echo "$prefix"
