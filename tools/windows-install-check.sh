#!/usr/bin/env bash
# Proves the Windows installer under Wine, headless, in a fresh prefix with a Russian Windows
# locale: a silent install next to a player that owns .m3u, the installed window opened with a
# playlist, its Copy and Save buttons against the native command's output, and a silent uninstall
# that leaves nothing of ours and the player still the default.
# Usage: tools/windows-install-check.sh INSTALLER [SCREENSHOT.png]
# shellcheck disable=SC2317 # the helpers run through check, within and the trap
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
if [ $# -lt 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 INSTALLER [SCREENSHOT.png]" >&2
    exit 2
fi
installer=$(realpath "$1")
screenshot=$(realpath -m "${2:-/tmp/skaldrun-wine.png}")
cd "$(dirname "$0")/.."
native=${SKALDRUN_CONVERT:-build-native/cli/skaldrun-convert}
if ! "$native" --crlf --version >/dev/null 2>&1; then
    echo "$native does not take --crlf: build it again, or name another in SKALDRUN_CONVERT" >&2
    exit 2
fi
version=$(basename "$installer" | sed -n 's/^skaldrun-\(.*\)-win32\.exe$/\1/p')
started=$SECONDS

work=$(mktemp -d /tmp/skaldrun-wine.XXXXXX)
app=
sentinel=
cleanup() {
    for pid in $app $sentinel; do kill "$pid" 2>/dev/null || true; done
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
localedef -i ru_RU -f UTF-8 "$work/ru_RU.UTF-8"
# Bash keeps its own locale (it read LOCPATH at its start); what it starts gets this one.
{ export LOCPATH="$work" LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8; } 2>/dev/null
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No Mono or Gecko prompts, and no menu entries in the real home for the Start menu's shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

failed=0
ok() { echo "ok: $*"; }
bad() {
    echo "FAILED: $*"
    failed=1
}
check() { # check DESCRIPTION COMMAND...
    if "${@:2}" >/dev/null; then ok "$1"; else bad "$1"; fi
}
reg() { wine reg "$@" 2>/dev/null | iconv -c -f CP866 -t UTF-8 | tr -d '\r'; }
classes='HKLM\Software\Classes'
not() { ! "$@"; }
player_is_default() { reg query "$classes\\.m3u" /ve | grep -q 'REG_SZ *Player\.Playlist$'; }
# The first dark row down the window at x=500: the top line of the tool bar's sunken frame,
# which is the top of the central area, right under the menu bar.
menu_bar_height() {
    xwd -id "$1" -silent | xwdtopnm 2>/dev/null | pnmcut -left 500 -width 1 | pnmtoplainpnm |
        awk 'NR > 3 { for (i = 1; i <= NF; i++) v[n++] = $i }
             END { for (y = 0; 3 * y < n; y++) if (v[3 * y] < 200) { print y; exit 0 } exit 1 }'
}
saved_file() { find "$out" -name "$1*" -printf '%f\n' -quit | grep .; }
# The program's other visible window wider than 300 px (its tool tips are narrower).
dialog_of() {
    local w
    for w in $(xdotool search --onlyvisible --class '^skaldrun\.exe$' 2>/dev/null); do
        if [ "$w" != "$1" ] && (eval "$(xdotool getwindowgeometry --shell "$w")" && [ "$WIDTH" -gt 300 ]); then
            echo "$w"
            return 0
        fi
    done
    return 1
}
running() { kill -0 "$1" 2>/dev/null; }
# Runs a command every half second until it succeeds, for at most SECONDS.
within() { # within SECONDS COMMAND...
    local tries=$(($1 * 2))
    shift
    until "$@"; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.5
    done
}

echo "== a fresh prefix, where the user's player owns .m3u"
timeout 120 wineboot --init >/dev/null 2>&1
reg add "$classes\\.m3u" /ve /d Player.Playlist /f >/dev/null

echo "== silent install of $(basename "$installer")"
timeout 120 wine "$installer" /S >/dev/null 2>&1 || bad "the installer exited with an error"
timeout 60 wineserver -w || true
drive=$WINEPREFIX/drive_c
exe=$(find "$drive" -maxdepth 4 -path '*/Program Files*/Skaldrun/skaldrun.exe' -print -quit)
if [ -z "$exe" ]; then
    bad "no Skaldrun\\skaldrun.exe under Program Files"
    exit 1
fi
instdir=$(dirname "$exe")
ok "skaldrun.exe in ${instdir#"$drive/"}"
check "skaldrun-convert.exe beside it" test -f "$instdir/skaldrun-convert.exe"
shortcut=$(find "$drive" -path '*/Start Menu/*' -name Skaldrun.lnk -print -quit)
check "Start-menu shortcut ${shortcut#"$drive/"}" test -n "$shortcut"
for ext in .m3u .m3u8; do
    check "$ext offers Skaldrun.Playlist" reg query "$classes\\$ext\\OpenWithProgids" /v Skaldrun.Playlist
done
check "an uninstall entry" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Skaldrun' /v UninstallString
check ".m3u still opens with Player.Playlist by default" player_is_default

out=$work/out
mkdir -p "$out"
n=0
for sample in "ansi-cp1251.m3u CP1251" "utf8-bom.m3u8 UTF-8"; do
    read -r name charset <<<"$sample"
    n=$((n + 1))
    echo "== the installed window with $name"
    "$native" --crlf "tests/data/$name" >"$work/expected"
    # Wine hands X11 readers LF where the Windows program put CR LF on the clipboard.
    iconv -f "$charset" -t UTF-8 "$work/expected" | sed 's/\r$//' >"$work/expected-clip"
    # From where a user keeps music, so that the screenshot shows no folder of this machine.
    music=$drive/users/Public/Music
    mkdir -p "$music"
    cp "tests/data/$name" "$music/"
    wine "$(winepath -w "$exe")" "$(winepath -w "$music/$name")" >/dev/null 2>&1 &
    app=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Skaldrun' 2>/dev/null | head -n 1) || true
    if [ -z "$wid" ]; then
        bad "$name: no window within 60 s"
        kill "$app" 2>/dev/null || true
        app=
        continue
    fi
    caption=$(xdotool getwindowname "$wid")
    check "$name: caption \"$caption\"" test "${caption#"Skaldrun $version"}" != "$caption"
    menu=$(within 10 menu_bar_height "$wid") || true
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    check "$name: window ${WIDTH}x$HEIGHT, a ${menu:-?} px menu bar over a ${WIDTH}x$((HEIGHT - ${menu:-0})) central area" \
        test "$WIDTH,$((HEIGHT - ${menu:-0}))" = 606,439
    menu=${menu:-21}

    # Copy, clicked again every 2 s in case the list was not there yet.
    printf 'nothing copied' | xclip -selection clipboard -i -quiet >/dev/null 2>&1 &
    sentinel=$!
    copied=no
    for i in $(seq 0 19); do
        if [ $((i % 4)) = 0 ]; then
            xdotool mousemove --window "$wid" 81 $((menu + 13)) click 1 2>/dev/null
        fi
        sleep 0.5
        xclip -o -selection clipboard -t UTF8_STRING >"$work/clip" 2>/dev/null || true
        if cmp -s "$work/clip" "$work/expected-clip"; then
            copied=yes
            break
        fi
    done
    kill "$sentinel" 2>/dev/null || true
    sentinel=
    check "$name: the clipboard holds the list (line breaks as X11 gets them: $(grep -q $'\r' "$work/clip" && echo CR LF || echo LF))" test $copied = yes
    if [ $n = 1 ]; then
        xdotool mousemove 0 0 2>/dev/null # no button lit, no tool tip
        sleep 0.5
        xwd -id "$wid" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$screenshot"
        size=$(file -b "$screenshot" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1x\2/p')
        check "screenshot $screenshot, $size" test "$size" = "${WIDTH}x$HEIGHT"
    fi

    # Save: the pointer goes onto the dialog, since without a window manager the keys go where
    # it is; the dialog starts in its name field.
    xdotool mousemove --window "$wid" 45 $((menu + 13)) click 1 2>/dev/null
    if dialog=$(within 15 dialog_of "$wid"); then
        xdotool mousemove --window "$dialog" 10 10 2>/dev/null
        xdotool key End shift+Home 2>/dev/null
        # Typed with ".txt" or without, the name ends in one, as Windows' dialogs do it.
        typed=list-$n
        [ $n = 1 ] || typed=$typed.txt
        xdotool type --delay 20 "$(winepath -w "$out")\\$typed" 2>/dev/null
        xdotool key Return 2>/dev/null
        saved=$(within 15 saved_file "list-$n") || true
        sleep 0.5 # written whole, but maybe not yet closed
        check "$name: \"$typed\" saved as list-$n.txt (written: ${saved:-nothing})" test "$saved" = "list-$n.txt"
        check "$name: saved bytes equal skaldrun-convert --crlf" cmp -s "$out/${saved:-none}" "$work/expected"
    else
        bad "$name: no save dialog within 15 s"
    fi

    xdotool key --window "$wid" alt+F4 2>/dev/null
    if ! within 20 not running "$app"; then
        bad "$name: the window still open 20 s after Alt+F4"
        kill "$app" 2>/dev/null || true
    fi
    wait "$app" 2>/dev/null || true
    app=
done

echo "== silent uninstall"
timeout 60 wine "$(winepath -w "$instdir/Uninstall.exe")" /S >/dev/null 2>&1 || bad "the uninstaller exited with an error"
timeout 60 wineserver -w || true
# NSIS's uninstaller goes on from a copy of itself in Temp; the folder goes when that is done.
check "${instdir#"$drive/"} removed" within 60 test ! -e "$instdir"
timeout 60 wineserver -k || true # writes the registry out to its files
left=$(find "$drive" -iname '*skaldrun*' -not -ipath '*/temp/*' | sed "s|^$drive/||")
check "nothing named skaldrun under drive_c${left:+: $left}" test -z "$left"
# Recently-used lists are the dialogs' own (Windows' or Wine's), not the installer's.
entries=$(awk '/^\[/ { key = $0 } tolower($0) ~ /skaldrun/ {
    print (tolower(key) ~ /mru/ ? "mru " : "ours ") FILENAME ": " (key == $0 ? "" : key " ") $0 }' \
    "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | sed "s|$WINEPREFIX/||")
while read -r kind entry; do
    case $kind in
    mru) echo "note: a recently-used entry: $entry" ;;
    ours) bad "left in the registry: $entry" ;;
    esac
done <<<"$entries"
grep -q '^ours ' <<<"$entries" || ok "no skaldrun in system.reg or user.reg"
check ".m3u still opens with Player.Playlist by default" player_is_default
check ".m3u\\OpenWithProgids, emptied, is gone" not reg query "$classes\\.m3u\\OpenWithProgids"
check ".m3u8, which the installer made, is gone" not reg query "$classes\\.m3u8"
echo "took $((SECONDS - started)) s"
exit $failed
