#!/usr/bin/env bash
# Installs Wine with its 32-bit part on Debian 12 (amd64). A Multi-Arch: same library must have one
# version on both architectures, and a mirror caught mid-sync may serve i386 indexes that lag the
# amd64 ones. Where the plain plan fails, the libraries it names are pinned to the newest version
# both architectures have (with the installed packages of their source at the same version), and
# the plan is simulated again. A plan that removes a package, or downgrades one the build uses, is
# refused. Exit 0: installed; 3: the archive cannot provide it, the reason on the last line.
# With --plan it only says what it would install.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/apt-lib.sh

wanted=(wine wine32:i386 fonts-wine)
if [ -z "$(apt_missing "${wanted[@]}")" ]; then
    exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${apt_sudo[@]}" dpkg --add-architecture i386
fi
apt_update

cannot() {
    echo "$1" >&2
    exit 3
}

# The versions the indexes hold of NAME:ARCH.
versions() {
    apt-cache madison "$1" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }'
}

# The newest version that both architectures' indexes hold of a package.
common_version() {
    local newest="" version i386
    i386=$(versions "$1:i386")
    while read -r version; do
        if grep -qxF "$version" <<<"$i386" &&
            { [ -z "$newest" ] || dpkg --compare-versions "$version" gt "$newest"; }; then
            newest=$version
        fi
    done < <(versions "$1:amd64")
    echo "$newest"
}

installed_version() {
    { dpkg-query -W -f='${db:Status-Status} ${Version}\n' "$1" 2>/dev/null || true; } |
        awk '$1 == "installed" { print $2; exit }'
}

# Everything the build uses, down to the libraries: these are never downgraded.
mapfile -t build_packages < <(tools/install-deps.sh --list)
protected=$(apt-cache depends --recurse --installed --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances "${build_packages[@]}" 2>/dev/null |
    grep -v '^ ' | sed 's/:amd64$//' | sort -u)

declare -A pinned=()
pins=()
pin() { # NAME VERSION: the i386 twin, and the installed amd64 package where it differs
    local name=$1 version=$2 current sibling
    pinned[$name]=$version
    pins+=("$name:i386=$version")
    current=$(installed_version "$name:amd64")
    [ -n "$current" ] && [ "$current" != "$version" ] || return 0
    pins+=("$name:amd64=$version")
    # Its source's other packages at the same version (the -dev package), or apt removes them.
    local source
    source=$(dpkg-query -W -f='${source:Package}' "$name:amd64")
    while read -r sibling sibling_source sibling_version; do
        if [ "$sibling_source" = "$source" ] && [ "$sibling_version" = "$current" ] &&
            [ -z "${pinned[$sibling]:-}" ] &&
            versions "$sibling:amd64" | grep -qxF "$version"; then
            pinned[$sibling]=$version
            pins+=("$sibling:amd64=$version")
        fi
    done <<<"$installed"
}
installed=$(dpkg-query -W -f='${db:Status-Status} ${Package} ${source:Package} ${Version}\n' |
    awk '$1 == "installed" { print $2, $3, $4 }')

for round in $(seq 40); do
    [ -z "${SKALDRUN_WINE32_TRACE:-}" ] || echo "round $round: ${pins[*]}" >&2
    if plan=$(apt_get -s install -y --no-install-recommends "${wanted[@]}" "${pins[@]}" 2>&1); then
        removed=$(sed -n 's/^Remv \([^ ]*\) .*/\1/p' <<<"$plan")
        if [ -z "$removed" ]; then
            break
        fi
        # A package removed for a pinned library's sake: keep it by pinning it along, if it can.
        progress=0
        for package in $removed; do
            name=${package%:*}
            [ -z "${pinned[$name]:-}" ] || continue
            for library in "${!pinned[@]}"; do
                if [ "$(dpkg-query -W -f='${source:Package}' "$name" 2>/dev/null)" = \
                    "$(dpkg-query -W -f='${source:Package}' "$library:amd64" 2>/dev/null)" ]; then
                    pin "$name" "${pinned[$library]}"
                    progress=1
                    break
                fi
            done
        done
        [ "$progress" -eq 1 ] || cannot "the plan would remove $(tr '\n' ' ' <<<"$removed" | sed 's/ $//')"
        continue
    fi
    # The i386 packages apt could not place: pin each to a version both architectures have.
    progress=0
    for name in $(grep -o '[a-z0-9][a-z0-9.+-]*:i386' <<<"$plan" | sed 's/:i386$//' | sort -u); do
        [ -z "${pinned[$name]:-}" ] || continue
        version=$(common_version "$name")
        if [ -n "$version" ]; then
            pin "$name" "$version"
            progress=1
        fi
    done
    if [ "$progress" -eq 0 ]; then
        [ -z "${SKALDRUN_WINE32_TRACE:-}" ] || echo "$plan" >&2
        cannot "$(grep -m 1 '^E: ' <<<"$plan" | sed 's/^E: //; s/\.$//')"
    fi
done
[ -z "$(sed -n 's/^Remv //p' <<<"$plan")" ] || cannot "no plan within 40 rounds"

# A downgrade of what the build uses would change what the other checks test.
while read -r name old new; do
    if dpkg --compare-versions "$new" lt "$old" && grep -qxF "${name%:amd64}" <<<"$protected"; then
        cannot "it would downgrade ${name%:amd64} from $old to $new"
    fi
done < <(sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 \3/p' <<<"$plan")

if [ ${#pins[@]} -gt 0 ]; then
    echo "wine32:i386 with versions both architectures have: ${pins[*]}"
fi
if [ "${1:-}" = --plan ]; then
    grep -E '^(Inst|Remv) ' <<<"$plan"
    exit 0
fi
apt_get install -y -qq --no-install-recommends "${wanted[@]}" "${pins[@]}" >/dev/null
