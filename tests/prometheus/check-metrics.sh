#!/bin/sh
# `promtool check metrics` accepts what `qelsensors metrics` writes for every shipped till (and
# for the one with NVMe SSDs, with their readings on): no lint finding, no parse error.
set -eu
qelsim=$1
qelsensors=$2
command -v promtool >/dev/null || {
    echo "promtool not found: install Debian's prometheus package (scripts/test does)"
    exit 1
}
if [ ! -r /dev/fuse ] || [ ! -w /dev/fuse ]; then
    echo "skipped: serving a simulated till needs /dev/fuse, open to this user"
    exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root: the library copies the event-log area (which metrics reads) only as root"
    exit 77
fi
work=$(mktemp -d)
root=$work/root
trap '"$qelsim" down "$root" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
checked=0
for profile in $("$qelsim" 2>&1 | sed -n '/^shipped profiles/{n;p}'); do
    for ssds in off on; do
        "$qelsim" up "$profile" "$root" --detach >/dev/null
        if [ "$ssds" = on ]; then
            mkdir -p "$root/etc/tarn"
            echo "NvmeReadings=1" >"$root/etc/tarn/sensor.conf"
        fi
        status=0
        QEL_SYSROOT=$root "$qelsensors" metrics --output "$work/$profile-$ssds.prom" || status=$?
        "$qelsim" down "$root" >/dev/null
        case $status in 0 | 3 | 4 | 5) ;; *)
            echo "$profile (SSD readings $ssds): qelsensors metrics exited with $status"
            exit 1
            ;;
        esac
        # promtool prints lint findings and exits non-zero on them as on a parse error.
        if ! findings=$(promtool check metrics <"$work/$profile-$ssds.prom" 2>&1); then
            echo "$profile (SSD readings $ssds): promtool check metrics:"
            echo "$findings"
            exit 1
        fi
        [ -z "$findings" ] || { echo "$profile: $findings"; exit 1; }
        grep -q '^qel_up 1$' "$work/$profile-$ssds.prom" || { echo "$profile: qel_up is not 1"; exit 1; }
        checked=$((checked + 1))
    done
done
[ "$checked" -gt 0 ] || { echo "no shipped profile found"; exit 1; }
echo "promtool check metrics: $checked expositions accepted"
