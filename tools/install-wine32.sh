#!/usr/bin/env bash
# Installs Wine with its 32-bit part on Debian 12 (amd64). A Multi-Arch: same library must have one
# version on both architectures, and a mirror caught mid-sync may serve i386 indexes that lag the
# amd64 ones. Each installed amd64 library that the 32-bit part shares and whose i386 twin lags
# is pinned, on both, to the newest version both architectures have (with the installed packages
# of its source at the same version), and the plan is simulated first. A plan that removes a
# package, or downgrades one the build uses, is refused. Exit 0: installed; 3: the archive cannot provide it, the reason on the last line.
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
if [ -z "$(apt-cache policy wine32:i386 2>/dev/null | sed -n 's/^ *Candidate: \([^(]\)/\1/p')" ]; then
    cannot "no wine32:i386 in the package lists"
fi

# The i386 packages Wine's 32-bit part needs, and every version the indexes hold of each, on
# both architectures ("name arch version" lines), in one look-up.
needed=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances wine32:i386 2>/dev/null | sed -n 's/^\([a-z0-9][^ ]*\):i386$/\1/p' |
    sort -u)
mapfile -t needed_list <<<"$needed"
held=$({ apt-cache madison $(sed 's/$/:i386/' <<<"$needed") "${needed_list[@]/%/:amd64}" 2>/dev/null || true; } |
    awk -F'|' '{ gsub(/ /, "", $1); gsub(/ /, "", $2); arch = sub(/:i386$/, "", $1) ? "i386" : "amd64"
                 print $1, arch, $2 }')
versions() { # NAME ARCH
    awk -v name="$1" -v arch="$2" '$1 == name && $2 == arch { print $3 }' <<<"$held"
}
candidates=$({ apt-cache policy $(sed 's/$/:i386/' <<<"$needed") "${needed_list[@]/%/:amd64}" 2>/dev/null || true; } |
    awk '/^[^ ]/ { name = $1; sub(/:$/, "", name); arch = sub(/:i386$/, "", name) ? "i386" : "amd64" }
         /^  Candidate:/ { print name, arch, $2 }')
candidate() { # NAME ARCH
    awk -v name="$1" -v arch="$2" '$1 == name && $2 == arch { print $3; exit }' <<<"$candidates"
}

# The newest version that both architectures' indexes hold of a package.
common_version() {
    local newest="" version i386
    i386=$(versions "$1" i386)
    while read -r version; do
        if [ -n "$version" ] && grep -qxF "$version" <<<"$i386" &&
            { [ -z "$newest" ] || dpkg --compare-versions "$version" gt "$newest"; }; then
            newest=$version
        fi
    done < <(versions "$1" amd64)
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

installed=$(dpkg-query -W -f='${db:Status-Status} ${Package} ${Architecture} ${Multi-Arch} ${source:Package} ${Version}\n' |
    awk '$1 == "installed" { print $2, $3, $4, $5, $6 }')
declare -A pinned=()
pins=()
pin() { # NAME VERSION: the i386 twin, and the installed amd64 package where it differs
    local name=$1 version=$2 current sibling source sibling_source sibling_version
    pinned[$name]=$version
    pins+=("$name:i386=$version")
    current=$(installed_version "$name:amd64")
    [ -n "$current" ] && [ "$current" != "$version" ] || return 0
    pins+=("$name:amd64=$version")
    # Its source's other packages at the same version (the -dev package), or apt removes them.
    source=$(awk -v name="$name" '$1 == name && $2 == "amd64" { print $4; exit }' <<<"$installed")
    while read -r sibling sibling_source sibling_version; do
        if [ "$sibling_source" = "$source" ] && [ "$sibling_version" = "$current" ] &&
            [ -z "${pinned[$sibling]:-}" ] &&
            apt-cache madison "$sibling:amd64" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' |
            grep -qxF "$version"; then
            pinned[$sibling]=$version
            pins+=("$sibling:amd64=$version")
        fi
    done < <(awk '{ print $1, $4, $5 }' <<<"$installed")
}

# Where an installed amd64 library the Wine part shares has no twin of its version for i386, or
# the two candidates differ, apt's resolver gives up: both go to a version both hold.
while read -r name arch multiarch _ version; do
    [ "$arch" = amd64 ] && [ "$multiarch" = same ] && grep -qxF "$name" <<<"$needed" || continue
    if versions "$name" i386 | grep -qxF "$version" &&
        [ "$(candidate "$name" i386)" = "$(candidate "$name" amd64)" ]; then
        continue
    fi
    common=$(common_version "$name")
    [ -z "$common" ] || pin "$name" "$common"
done <<<"$installed"

plan=$(apt_get -s install -y --allow-downgrades --no-install-recommends "${wanted[@]}" "${pins[@]}" 2>&1) ||
    cannot "$(grep -m 1 '^E: ' <<<"$plan" | sed 's/^E: //; s/\.$//')"
removed=$(sed -n 's/^Remv \([^ ]*\) .*/\1/p' <<<"$plan" | tr '\n' ' ' | sed 's/ $//')
[ -z "$removed" ] || cannot "the plan would remove $removed"

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
apt_get install -y -qq --allow-downgrades --no-install-recommends "${wanted[@]}" "${pins[@]}" >/dev/null
