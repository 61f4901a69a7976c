#!/usr/bin/env bash
# tools/apt-lib.sh against a stand-in apt-get and dpkg-query: nothing is fetched while all is
# installed, a failing index fetch is tried again and then passed over, a failed install fails.
set -uo pipefail
lib=$1/tools/apt-lib.sh
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
cat >"$fake/apt-get" <<'STUB'
#!/bin/sh
for arg; do last=$arg; done
echo "apt-get $*" >>"$APT_LOG"
case " $* " in
*" update "*) echo "E: File has unexpected size. Mirror sync in progress?" >&2; exit 100 ;;
*" install "*) [ "$last" != broken ] || exit 100 ;;
esac
STUB
cat >"$fake/dpkg-query" <<'STUB'
#!/bin/sh
for arg; do last=$arg; done
case " $INSTALLED " in *" $last "*) echo installed ;; *) exit 1 ;; esac
STUB
chmod +x "$fake/apt-get" "$fake/dpkg-query"

failures=0
# NAME INSTALLED PACKAGES EXPECTED-STATUS EXPECTED-UPDATES EXPECTED-INSTALL-LINE
check() {
    local name=$1 installed=$2 packages=$3 want_status=$4 want_updates=$5 want_install=$6
    : >"$fake/log"
    status=0
    PATH="$fake:$PATH" APT_LOG="$fake/log" INSTALLED="$installed" SKALDRUN_APT_TRIES=3 \
        SKALDRUN_APT_PAUSE=0 bash -euo pipefail -c ". '$lib'; apt_install $packages" 2>/dev/null || status=$?
    updates=$(grep -c ' update' "$fake/log")
    install=$(grep -o 'install .*' "$fake/log" | sed 's/-y -qq //')
    if [ "$((status != 0))" != "$want_status" ] || [ "$updates" != "$want_updates" ] ||
        [ "$install" != "$want_install" ]; then
        echo "FAIL $name: status $status, $updates updates, '$install'"
        failures=$((failures + 1))
    else
        echo "ok $name"
    fi
}
check "all installed: nothing fetched" "a b" "a b" 0 0 ""
check "a failing fetch is tried again, then the lists at hand serve" "a" "a b" 0 3 "install b"
check "options pass, only the missing are named" "" "--no-install-recommends a" 0 3 \
    "install --no-install-recommends a"
check "a failed install fails" "a" "a broken" 1 3 "install broken"
[ "$failures" -eq 0 ]
