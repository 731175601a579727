# Shared helpers of the scripts in this directory.

stage() { printf '\n=== %s\n' "$*"; }

# Installs the Debian packages among the arguments that are missing (as root); says what is
# missing and returns non-zero where they cannot be installed. For a stage that is skipped
# without them.
want_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]}; install them (as root: apt-get install ${missing[*]})" >&2
        return 1
    fi
    echo "installing: ${missing[*]}"
    if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null; }; then
        echo "could not install: ${missing[*]}" >&2
        return 1
    fi
}

# Runs a command (an installation) with the start of services forbidden where no policy says
# otherwise, so that installing a daemon (Prometheus, node_exporter) does not leave it listening:
# a test starts what it needs itself, on loopback.
without_service_starts() {
    if [ "$(id -u)" -ne 0 ] || [ -e /usr/sbin/policy-rc.d ]; then
        "$@"
        return
    fi
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    local status=0
    "$@" || status=$?
    rm -f /usr/sbin/policy-rc.d
    return "$status"
}

# The same for what a script cannot do without: stops when they cannot be installed.
need_packages() {
    want_packages "$@" || exit 1
}
