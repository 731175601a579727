#!/bin/sh
# The alert rules as Prometheus's own tool reads them: the file is valid, and each rule fires on
# series of our format and stays quiet where it must (qelsensors.rules.test.yml).
set -eu
rules_dir=$1
command -v promtool >/dev/null || {
    echo "promtool not found: install Debian's prometheus package (scripts/test does)"
    exit 1
}
promtool check rules "$rules_dir/qelsensors.rules.yml"
cd "$rules_dir"
promtool test rules qelsensors.rules.test.yml
