#!/usr/bin/env bash
# Installs what building, running and testing Skaldrun needs on Debian 12.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    dpkg-dev # dpkg-shlibdeps, which gives the package its library dependencies
    libgtest-dev
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
    fonts-liberation2
    mawk time
    acl # setfacl, for the test that ACLs survive a save
)

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${packages[@]}" >/dev/null
