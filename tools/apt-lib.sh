# Sourced by the scripts that install Debian packages. Nothing is fetched while every package is
# installed; a package index that fails to download (a mirror caught mid-sync heals in minutes) is
# fetched again after a pause, and after the last try the lists at hand are used, as long as the
# packages can be installed from them.

apt_sudo=()
if [ "$(id -u)" -ne 0 ]; then
    apt_sudo=(sudo)
fi

# apt-get, waiting up to ten minutes for another apt or an unattended upgrade that holds the lock.
apt_get() {
    "${apt_sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# Prints those of the named packages (name or name:arch) that are not installed.
apt_missing() {
    local package
    for package; do
        dpkg-query -W -f='${db:Status-Status}\n' "$package" 2>/dev/null | grep -qx installed ||
            echo "$package"
    done
}

apt_update() {
    local tries=${SKALDRUN_APT_TRIES:-4} pause=${SKALDRUN_APT_PAUSE:-30}
    local failures=0 lock_waits=0 output
    while ! output=$(apt_get update -qq 2>&1); do
        # The lock is not the archive's fault: wait for it without counting a try.
        if grep -q "Could not get lock" <<<"$output" && [ "$lock_waits" -lt 60 ]; then
            lock_waits=$((lock_waits + 1))
            sleep 10
            continue
        fi
        failures=$((failures + 1))
        if [ "$failures" -ge "$tries" ]; then
            echo "$output" >&2
            echo "apt-get update failed $tries times; going on with the package lists at hand" >&2
            return 0
        fi
        echo "apt-get update failed ($(grep -m 1 '^[EW]:' <<<"$output" || echo "exit status")); trying again in $((pause * failures)) s" >&2
        sleep $((pause * failures))
    done
}

# apt_install [APT-OPTION...] PACKAGE...: installs those that are missing.
apt_install() {
    local options=() missing=()
    while [ $# -gt 0 ] && [ "${1#-}" != "$1" ]; do
        options+=("$1")
        shift
    done
    mapfile -t missing < <(apt_missing "$@")
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    apt_update
    apt_get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}
