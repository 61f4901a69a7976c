#!/usr/bin/env bash
# Installs what building, running and testing Skaldrun needs on Debian 12: nothing, and no root,
# when all of it is there already.
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

installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for package in "${packages[@]}"; do
    grep -qx "$package installed" <<<"$installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "tools/install-deps.sh: installing Debian packages needs root: run it as root" >&2
        echo "(su -c tools/install-deps.sh), or install sudo first. Missing:" >&2
        echo "  ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
# Another apt or an unattended upgrade may hold a lock: wait for it, up to ten minutes.
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
for attempt in $(seq 60); do
    if output=$("${apt[@]}" update -qq 2>&1); then
        break
    fi
    if ! grep -q "Could not get lock" <<<"$output" || [ "$attempt" -eq 60 ]; then
        echo "$output" >&2
        exit 1
    fi
    sleep 10
done
"${apt[@]}" install -y -qq "${missing[@]}" >/dev/null
