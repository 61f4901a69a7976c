#!/usr/bin/env bash
# Installs what building, running and testing Skaldrun needs on Debian 12.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    dpkg-dev # dpkg-shlibdeps, which gives the package its library dependencies
    libgtest-dev
    qt6-base-dev qt6-base-dev-tools qt6-wayland qt6-translations-l10n libgl-dev
    libxcb1-dev # large copies go to X11 readers in parts
    libexpat1-dev # XSPF playlists
    fonts-liberation2
    mawk time
    file # cpack's Debian packages ask it about every file
    acl # setfacl, for the test that ACLs survive a save
    xvfb xauth xclip # the test of what X11 readers get from the clipboard
)

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "tools/install-deps.sh installs Debian packages, which needs root: run it as root" >&2
        echo "(su -c tools/install-deps.sh), or install sudo first. The packages:" >&2
        echo "  ${packages[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${packages[@]}" >/dev/null
