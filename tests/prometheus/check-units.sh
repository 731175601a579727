#!/bin/sh
# The service and timer as systemd reads them, with the service's command pointed at the tool of
# this build (systemd-analyze checks that the command it names exists and is executable).
set -eu
service=$1
timer=$2
qelsensors=$3
command -v systemd-analyze >/dev/null || {
    echo "systemd-analyze not found: install Debian's systemd package (scripts/test does)"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grep -q "^ExecStart=[^ ]*/qelsensors metrics --output /var/lib/prometheus/node-exporter/qelsensors.prom --state /var/lib/qelsensors/readings.json$" "$service" ||
    { echo "$service: ExecStart is not the metrics command into the textfile directory"; exit 1; }
sed "s#^ExecStart=[^ ]*/qelsensors #ExecStart=$qelsensors #" "$service" >"$work/qelsensors-metrics.service"
cp "$timer" "$work/qelsensors-metrics.timer"
systemd-analyze verify --man=no "$work/qelsensors-metrics.service" "$work/qelsensors-metrics.timer"
# The sandbox holds: systemd's exposure rating of the service at most 2.5 (of 10).
systemd-analyze security --offline=yes --threshold=25 "$work/qelsensors-metrics.service" >"$work/security.txt" 2>&1 ||
    { cat "$work/security.txt"; echo "the service's exposure is above 2.5"; exit 1; }
echo "units verified; $(grep -o 'Overall exposure level.*' "$work/security.txt")"
