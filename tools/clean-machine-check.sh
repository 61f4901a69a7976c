#!/usr/bin/env bash
# Proves a fresh machine: a minimal Debian 12 made with debootstrap, the README's install route
# followed in it word for word (its dependencies, the build, the package, apt installing it),
# both programs used, the window shown under X11 (Xvfb) and under Wayland (Weston, headless), a
# player's default for playlists left as the system set it, and remove and purge leaving nothing
# of ours. Needs root; where the system cannot be made, it says so and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

fail() {
    echo "clean-machine check: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root, to make a system with debootstrap and enter it"
command -v git >/dev/null || fail "needs git, to take the committed source into the system"
. tools/apt-lib.sh
apt_install debootstrap

root=$(mktemp -d /var/tmp/skaldrun-clean.XXXXXX)
chmod 755 "$root" # apt in the system downloads as its own user
cleanup() {
    umount -R "$root/dev" "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_system() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$1"
}

# The archive this system installs from, as its apt sources name it (deb822 or one-line form).
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
if [ -z "$mirror" ]; then
    mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\?\([^ ]*\) .*/\2/p' /etc/apt/sources.list \
        /etc/apt/sources.list.d/*.list 2>/dev/null | head -n 1)
fi
[ -n "$mirror" ] || fail "no Debian archive in the apt sources of this system"
echo "== a minimal Debian 12 (debootstrap --variant=minbase, $mirror)"
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1; then
    tail -n 5 "$root.log" >&2
    rm -f "$root.log"
    fail "debootstrap could not make the system (no permission or no mirror)"
fi
rm -f "$root.log"
mount -t proc proc "$root/proc" || fail "cannot mount /proc in the system: no permission"
mount --rbind /dev "$root/dev" || fail "cannot give the system /dev: no permission"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir "$root/src"
git archive HEAD | tar -x -C "$root/src"

echo "== a player that the system makes the default for playlists"
mkdir -p "$root/usr/share/applications"
cat >"$root/usr/share/applications/player.desktop" <<'EOF'
[Desktop Entry]
Type=Application
Name=Player
Exec=true %U
MimeType=audio/x-mpegurl;audio/mpegurl;
EOF
printf '[Default Applications]\naudio/x-mpegurl=player.desktop\n' \
    >"$root/usr/share/applications/mimeapps.list"

echo "== the README's install route, word for word"
route=$(awk '/^## Installing/ { on = 1; next } on && /^Remove it/ { exit }
             on && /^    / { sub(/^    /, ""); print }' README.md)
[ -n "$route" ] || fail "no install commands found in README.md"
printf '%s\n' "$route"
# The new system has no package lists: fetched with the same retries as here.
in_system ". /src/tools/apt-lib.sh && apt_update"
in_system "cd /src && $route" >"$root/route.log" 2>&1 || {
    tail -n 30 "$root/route.log" >&2
    fail "the README's install route failed"
}
echo "installed: $(in_system "dpkg-query -W -f='\${Package} \${Version}' skaldrun")"

echo "== both programs"
in_system "skaldrun --version && skaldrun-convert --version"
in_system '
    for sample in /src/tests/data/*.*; do # the samples of this folder; those of formats/ have their tests
        status=0
        skaldrun-convert "$sample" >/dev/null 2>&1 || status=$?
        case "$(basename "$sample"):$status" in
            not-a-playlist.m3u:2 | bad-duration.m3u:1 | *:0) echo "  $(basename "$sample"): $status" ;;
            *) echo "  $(basename "$sample"): exit $status" >&2; exit 1 ;;
        esac
    done'

echo "== no display: one line, exit 1"
status=0
in_system "skaldrun /src/tests/data/iptv.m3u" 2>"$root/nodisplay.log" || status=$?
cat "$root/nodisplay.log"
[ "$status" -eq 1 ] && [ "$(wc -l <"$root/nodisplay.log")" -eq 1 ] ||
    fail "without a display: exit $status"

echo "== the window under X11 (Xvfb)"
in_system "apt-get install -y -qq xvfb xauth x11-utils >/dev/null"
in_system '
    xvfb-run -a bash -c "
        skaldrun /src/tests/data/iptv.m3u & pid=\$!
        for i in \$(seq 40); do
            xwininfo -root -tree | grep -q \"Skaldrun\" && break
            sleep 0.5
        done
        xwininfo -root -tree | grep \"Skaldrun\" | head -n 1
        kill \$pid"' | grep -q Skaldrun || fail "no window under X11"
echo "shown"

echo "== the window under Wayland (Weston's headless backend)"
in_system "dpkg-query -W qt6-wayland >/dev/null" || fail "qt6-wayland, recommended, was not installed"
in_system "apt-get install -y -qq weston >/dev/null"
in_system '
    export XDG_RUNTIME_DIR=/tmp/wayland; mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    weston --backend=headless-backend.so --socket=skaldrun --idle-time=0 >/tmp/weston.log 2>&1 &
    weston=$!
    for i in $(seq 40); do [ -S "$XDG_RUNTIME_DIR/skaldrun" ] && break; sleep 0.25; done
    WAYLAND_DISPLAY=skaldrun QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
        skaldrun /src/tests/data/iptv.m3u >/tmp/wayland.log 2>&1 & pid=$!
    for i in $(seq 40); do grep -q "set_title(\"Skaldrun" /tmp/wayland.log && break; sleep 0.5; done
    kill $pid $weston
    grep -o "set_title(\"Skaldrun[^\"]*\")" /tmp/wayland.log | head -n 1' | grep -q Skaldrun ||
    fail "no window under Wayland"
echo "shown"

echo "== who opens playlists"
in_system "apt-get install -y -qq xdg-utils libglib2.0-bin desktop-file-utils >/dev/null"
in_system "update-desktop-database /usr/share/applications"
default=$(in_system "xdg-mime query default audio/x-mpegurl")
echo "xdg-mime, audio/x-mpegurl: $default"
in_system "gio mime audio/x-mpegurl" | sed 's/^/gio: /'
[ "$default" = player.desktop ] || fail "the player's default for audio/x-mpegurl was taken"
in_system "gio mime audio/x-mpegurl" | grep -q "org.skaldrun.Skaldrun.desktop" ||
    fail "Skaldrun is not offered for audio/x-mpegurl"
echo "xdg-mime, audio/mpegurl (no default set): $(in_system "xdg-mime query default audio/mpegurl")"

echo "== a source install, and its uninstall as the README gives it"
uninstall=$(awk '/install_manifest.txt`\) with the/ { on = 1; next }
                 on && /^    / { sub(/^    /, ""); print; got = 1; next }
                 got && NF { exit }' README.md)
[ -n "$uninstall" ] || fail "no uninstall commands found in README.md"
in_system "find /usr/local -type d | sort" >"$root/before.txt"
in_system "cd /src && cmake --install build --prefix /usr/local >/dev/null"
in_system "cd /src && $uninstall"
in_system "find /usr/local -type d | sort" >"$root/after.txt"
made=$(comm -13 "$root/before.txt" "$root/after.txt")
[ -z "$made" ] || fail "folders left by the source uninstall: $made"
echo "no folder left; gone that were there empty: $(comm -23 "$root/before.txt" "$root/after.txt" | tr '\n' ' ')"

echo "== remove and purge"
in_system "apt-get remove -y -qq skaldrun >/dev/null && dpkg --purge skaldrun >/dev/null"
left=$(in_system "find / -xdev \\( -path /src -o -path /proc -o -path /tmp \\) -prune -o \
    -iname '*skaldrun*' -print")
[ -z "$left" ] || fail "left behind: $left"
echo "nothing of ours is left"
echo "clean-machine check passed in $((SECONDS - started)) s"
