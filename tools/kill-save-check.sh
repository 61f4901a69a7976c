#!/bin/bash
# Kills real saves of a large list (`skaldrun-convert -o`) at random moments and checks each:
# the file is whole, the old list or the new one, or a named copy holds the whole new list.
# As the owner of a file with one name (as "nobody" when run by root), and as root over a file
# with a second name, which is written in place.
#
#   tools/kill-save-check.sh build/cli/skaldrun-convert [MEGABYTES [KILLS]]
#
# Needs about five times MEGABYTES free in the temporary folder; everything goes at the end.
set -euo pipefail

convert=$(realpath "$1")
megabytes=${2:-250}
kills=${3:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/kill-save.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

# Titles of 200 bytes, so the list is about as large as the playlist.
entries=$((megabytes * 1024 * 1024 / 215))
awk -v n="$entries" 'BEGIN {
    title = sprintf("%190s", ""); gsub(/ /, "x", title)
    print "#EXTM3U"
    for (i = 1; i <= n; i++) printf "#EXTINF:%d,Artist - %s %d\n/home/user/Music/%d.mp3\n", 60 + i % 600, title, i, i
}' > "$work/list.m3u"
"$convert" --no-time -o "$work/old.txt" "$work/list.m3u"
"$convert" -o "$work/new.txt" "$work/list.m3u"
echo "list: $(stat -c %s "$work/new.txt") bytes new, $(stat -c %s "$work/old.txt") old"

failures=0

# One way of saving: NAME, the folder, the file, the user running the command.
trial() {
    local name=$1 folder=$2 target=$3
    shift 3
    local -a as=("$@")
    local -A outcomes=([old]=0 [new]=0 [copy]=0)
    local started ended duration delay pid copy outcome leaf
    leaf=.$(basename "$target")

    restore() {
        cat "$work/old.txt" > "$target" # keeps the file, its owner and its other names
        find "$folder" "$work/tmp" -maxdepth 1 -name "$leaf.*" -delete
    }
    restore
    started=$(date +%s%N)
    env TMPDIR="$work/tmp" "${as[@]}" "$convert" -o "$target" "$work/list.m3u"
    ended=$(date +%s%N)
    duration=$(((ended - started) / 1000000))
    for ((kill = 1; kill <= kills; kill++)); do
        restore
        delay=$((RANDOM * duration / 32768))
        env TMPDIR="$work/tmp" "${as[@]}" "$convert" -o "$target" "$work/list.m3u" &
        pid=$!
        sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
        kill -KILL "$pid" 2> /dev/null || true
        wait "$pid" 2> /dev/null || true
        if cmp -s "$target" "$work/old.txt"; then
            outcome=old
        elif cmp -s "$target" "$work/new.txt"; then
            outcome=new
        else
            outcome=lost
            for copy in "$folder/$leaf".* "$work/tmp/$leaf".*; do
                if [ -f "$copy" ] && cmp -s "$copy" "$work/new.txt"; then
                    outcome=copy
                fi
            done
        fi
        if [ "$outcome" = lost ]; then
            echo "$name: killed at $delay ms: neither the file nor a copy holds a whole list"
            failures=$((failures + 1))
        else
            outcomes[$outcome]=$((${outcomes[$outcome]} + 1))
        fi
    done
    echo "$name: a save takes $duration ms; $kills kills: ${outcomes[old]} left the old list," \
        "${outcomes[new]} the new one, ${outcomes[copy]} a part-written file beside a whole copy"
}

mkdir -m 1777 "$work/tmp"
mkdir "$work/own"
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$work/own"
    cat "$work/old.txt" > "$work/own/list.txt"
    chown nobody:nogroup "$work/own/list.txt"
    trial "the owner's file" "$work/own" "$work/own/list.txt" setpriv --reuid=nobody \
        --regid=nogroup --clear-groups
    mkdir "$work/linked"
    cat "$work/old.txt" > "$work/linked/list.txt"
    ln "$work/linked/list.txt" "$work/linked/other.txt"
    trial "root, a hard-linked file" "$work/linked" "$work/linked/list.txt"
    [ "$work/linked/list.txt" -ef "$work/linked/other.txt" ] || {
        echo "the hard link was broken"
        failures=$((failures + 1))
    }
else
    cat "$work/old.txt" > "$work/own/list.txt"
    trial "the owner's file" "$work/own" "$work/own/list.txt"
    echo "root's save of a hard-linked file needs root: not tried"
fi
[ "$failures" -eq 0 ]
