#!/usr/bin/env bash
# Installs what building, running and testing Skaldrun needs on Debian 12: nothing, and no root,
# when all of it is there already. The package lists are fetched only when something is missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    dpkg-dev # dpkg-shlibdeps, which gives the package its library dependencies
    libgtest-dev
    qt6-base-dev qt6-base-dev-tools qt6-wayland qt6-translations-l10n libgl-dev
    libxcb1-dev # large copies go to X11 readers in parts
    libexpat1-dev # XSPF playlists
    fonts-liberation2
    gettext # msgfmt, for the command's Russian messages
    locales # the test of those messages makes a Russian locale of its own
    mawk time
    file # cpack's Debian packages ask it about every file
    acl # setfacl, for the test that ACLs survive a save
    xvfb xauth xclip # the test of what X11 readers get from the clipboard
    xdg-utils # the Help menu's pages open in the user's browser
)

if [ "${1:-}" = --list ]; then # what the build uses, for scripts that must not disturb it
    printf '%s\n' "${packages[@]}"
    exit 0
fi

. "$(dirname "$0")/apt-lib.sh"
mapfile -t missing < <(apt_missing "${packages[@]}")
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
    echo "tools/install-deps.sh: installing Debian packages needs root: run it as root" >&2
    echo "(su -c tools/install-deps.sh), or install sudo first. Missing:" >&2
    echo "  ${missing[*]}" >&2
    exit 1
fi
apt_install "${missing[@]}"
