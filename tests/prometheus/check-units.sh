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
grep -q "^ExecStart=[^ ]*/qelsensors metrics --output /var/lib/prometheus/node-exporter/qelsensors.prom$" "$service" ||
    { echo "$service: ExecStart is not the metrics command into the textfile directory"; exit 1; }
sed "s#^ExecStart=[^ ]*/qelsensors #ExecStart=$qelsensors #" "$service" >"$work/qelsensors-metrics.service"
cp "$timer" "$work/qelsensors-metrics.timer"
systemd-analyze verify --man=no "$work/qelsensors-metrics.service" "$work/qelsensors-metrics.timer"
echo "units verified"
