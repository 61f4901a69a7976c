#!/usr/bin/env bash
# Builds the Debian package from an existing build folder, installs it, uses what it installed,
# and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

. tools/apt-lib.sh
apt_install desktop-file-utils appstream dpkg-dev lintian xdg-utils
desktop-file-validate dist/org.skaldrun.Skaldrun.desktop
appstreamcli validate --no-net --pedantic "$build/dist/org.skaldrun.Skaldrun.metainfo.xml"

rm -f "$build"/skaldrun_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$PWD/$build"/skaldrun_*.deb)
depends=$(dpkg-deb -f "$package" Depends)
echo "Depends: $depends"
for needed in libqt6widgets6 libqt6gui6 libc6; do
    if ! grep -Eq "(^|[ ,|])$needed( |,|$)" <<<"$depends"; then
        echo "the package's Depends lacks $needed"
        exit 1
    fi
done
echo "== lintian on $(basename "$package") (any error or warning fails)"
lintian --fail-on error,warning -I "$package"
echo "== installing $(basename "$package")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null

/usr/bin/skaldrun-convert --version
/usr/bin/skaldrun-convert tests/data/cr-only.m3u | od -c | head -n 2
test -f /usr/share/icons/hicolor/256x256/apps/org.skaldrun.Skaldrun.png
test -f /usr/share/applications/org.skaldrun.Skaldrun.desktop
test -f /usr/share/doc/skaldrun/copyright
zcat /usr/share/doc/skaldrun/changelog.gz | sed -n 1p
ls /usr/share/man/man1/skaldrun.1.gz /usr/share/man/man1/skaldrun-convert.1.gz
# Offered for playlists; whether it is the default is the system's or the user's choice.
grep -q '^MimeType=.*audio/x-mpegurl;' /usr/share/applications/org.skaldrun.Skaldrun.desktop
echo "opens audio/x-mpegurl here: $(xdg-mime query default audio/x-mpegurl)"

echo "== starting the installed window program"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$(mktemp -d) /usr/bin/skaldrun &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "skaldrun did not keep running"
    exit 1
fi
echo "still running after two seconds"
kill "$pid"
wait "$pid" 2>/dev/null || true

echo "== removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq skaldrun >/dev/null
if [ -e /usr/bin/skaldrun ] || [ -e /usr/share/applications/org.skaldrun.Skaldrun.desktop ]; then
    echo "files left behind"
    exit 1
fi
echo "removed cleanly"
