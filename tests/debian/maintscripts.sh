#!/bin/sh
# The provider package's registration logic, run against stub brokers: each stub records its
# command line, and fails when its name is in STUB_FAIL; the cimconfig stub keeps providerDir in a
# file. The scripts run from copies whose fixed paths (/usr/local, the record directory, /etc/sfcb)
# point into a scratch directory, with a PATH of the stubs and the few tools the scripts may use,
# so a broker installed on this machine is never touched.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
libdir=/usr/lib/x86_64-linux-gnu
state=$work/state

mkdir "$work/tools" "$work/scripts"
for tool in sh sed grep tail dirname cat rm mkdir rmdir; do
    ln -s "$(command -v "$tool")" "$work/tools/$tool"
done
for script in postinst postrm; do
    sed -e "s#/usr/local/#$work/local/#g" -e "s#/var/lib/libqelsensors0#$state#" \
        -e "s# /etc/sfcb/sfcb.cfg# $work/sysconf/sfcb.cfg#" -e "s/#DEB_HOST_MULTIARCH#/x86_64-linux-gnu/" \
        "$here/../../debian/libqelsensors0.$script" >"$work/scripts/$script"
done
postinst=$work/scripts/postinst
postrm=$work/scripts/postrm

# stubs DIR NAME...: a fresh machine whose only broker commands are these, in DIR (bin: on PATH;
# local/bin or local/sbin: where apt's PATH does not look).
stubs() {
    dir=$1
    shift
    rm -rf "${work:?}/bin" "$work/local" "$state" "$work/pegasus"
    mkdir -p "$work/bin" "$work/local/bin" "$work/local/sbin"
    echo "lib:/usr/lib/Pegasus/providers" >"$work/pegasus"
    for name in "$@"; do
        cat >"$work/$dir/$name" <<'STUB'
#!/bin/sh
echo "${0##*/} $*" >>"$STUB_LOG"
case " ${STUB_FAIL:-} " in *" ${0##*/} "*) exit 1 ;; esac
if [ "${0##*/}" = cimconfig ]; then
    case "$1" in
    -g) echo "Planned value: $(cat "$STUB_PEGASUS")" ;;
    -s) echo "${2#providerDir=}" >"$STUB_PEGASUS" ;;
    esac
fi
exit 0
STUB
        chmod +x "$work/$dir/$name"
    done
}

# sfcb_cfg FILE DIRS: sfcb's configuration file with this providerDirs line.
sfcb_cfg() {
    mkdir -p "$(dirname "$1")"
    printf '# sfcb.cfg\nhttpPort:       5988\nproviderDirs: %s\nsslKeyFilePath: /etc/sfcb/file.pem\n' "$2" >"$1"
    cp "$1" "$work/cfg-before"
}

# run SCRIPT ARGS...: runs a maintainer script as dpkg would; sets status, out, err and the
# calls of this run.
run() {
    : >"$work/calls"
    script=$1
    shift
    status=0
    PATH=$work/bin:$work/tools STUB_LOG=$work/calls STUB_PEGASUS=$work/pegasus \
        sh "$script" "$@" >"$work/out" 2>"$work/err" || status=$?
    out=$(cat "$work/out")
    err=$(cat "$work/err")
}

fail() {
    echo "FAIL: $case: $*"
    echo "  calls: $(tr '\n' ';' <"$work/calls")"
    echo "  out: $out"
    echo "  err: $err"
    failures=$((failures + 1))
}

expect_calls() {
    want=$(printf '%s\n' "$@")
    got=$(cat "$work/calls")
    [ "$got" = "$want" ] || fail "calls: want [$want]"
}

# expect_said N WORDS: status 0 and N lines on standard output, the last naming WORDS.
expect_said() {
    [ "$status" -eq 0 ] || fail "status $status"
    [ "$(printf '%s' "$out" | grep -c '^libqelsensors0: ')" -eq "$1" ] || fail "not $1 line(s)"
    printf '%s\n' "$out" | tail -n 1 | grep -q "$2" || fail "no word of '$2'"
}

share=/usr/share/qelsensors
reconfigure="dpkg-reconfigure libqelsensors0"

case="no broker: configure says so and what to run later; removal and purge are quiet"
stubs bin
run "$postinst" configure
expect_said 1 "no CIM broker found.*$reconfigure"
[ ! -e "$state" ] || fail "a record of nothing"
for action in remove purge; do
    run "$postrm" $action
    [ "$status" -eq 0 ] && [ -z "$out$err" ] || fail "$action: status $status or output"
done

case="sfcb under /usr/local: registered, its library directory added to providerDirs; purge restores"
stubs local/bin sfcbstage sfcbunstage sfcbrepos
sfcb_cfg "$work/local/etc/sfcb/sfcb.cfg" "/usr/local/lib/sfcb /usr/local/lib"
run "$postinst" configure
expect_calls "sfcbstage -n root/cimv2 -r $share/qelsensors.reg $share/PXT_Sensors.mof" "sfcbrepos -f"
expect_said 1 "sfcb.*restart sfcb"
grep -qx "providerDirs: /usr/local/lib/sfcb /usr/local/lib $libdir" "$work/local/etc/sfcb/sfcb.cfg" ||
    fail "providerDirs: $(grep providerDirs "$work/local/etc/sfcb/sfcb.cfg")"
run "$postinst" configure 3.10.15 # again, as an upgrade: the directory is not added twice
[ "$(grep -c "$libdir" "$work/local/etc/sfcb/sfcb.cfg")" -eq 1 ] || fail "added twice"
run "$postrm" remove
expect_calls "sfcbunstage -n root/cimv2 -r qelsensors.reg PXT_Sensors.mof" "sfcbrepos -f"
expect_said 1 "restart sfcb"
run "$postrm" purge
expect_calls
cmp -s "$work/cfg-before" "$work/local/etc/sfcb/sfcb.cfg" || fail "sfcb.cfg not as before the install"
[ ! -e "$state" ] || fail "the record is left"

case="sfcb whose providerDirs holds the directory already (/etc/sfcb): left as it was"
stubs bin sfcbstage sfcbunstage sfcbrepos
sfcb_cfg "$work/sysconf/sfcb.cfg" "$libdir/ /usr/lib/sfcb"
run "$postinst" configure
expect_said 1 "restart sfcb"
run "$postrm" remove
run "$postrm" purge
cmp -s "$work/cfg-before" "$work/sysconf/sfcb.cfg" || fail "sfcb.cfg changed"
rm -rf "$work/sysconf"

case="sfcb refuses: no repository rebuild, nothing recorded, the install goes on"
stubs local/sbin sfcbstage sfcbunstage sfcbrepos
sfcb_cfg "$work/local/etc/sfcb/sfcb.cfg" "/usr/local/lib"
STUB_FAIL=sfcbstage run "$postinst" configure
expect_calls "sfcbstage -n root/cimv2 -r $share/qelsensors.reg $share/PXT_Sensors.mof"
expect_said 1 "$reconfigure"
cmp -s "$work/cfg-before" "$work/local/etc/sfcb/sfcb.cfg" || fail "sfcb.cfg changed"
run "$postrm" purge
expect_calls
STUB_FAIL=sfcbrepos run "$postinst" configure # staged, not rebuilt: the removal still unstages
expect_said 1 "repository.*$reconfigure"
run "$postrm" purge
grep -q '^sfcbunstage' "$work/calls" || fail "the staged registration is left"

case="sfcb refuses the removal: the purge tries again"
run "$postinst" configure
STUB_FAIL=sfcbunstage run "$postrm" remove
expect_said 1 "sfcbunstage"
run "$postrm" purge
expect_calls "sfcbunstage -n root/cimv2 -r qelsensors.reg PXT_Sensors.mof" "sfcbrepos -f"
cmp -s "$work/cfg-before" "$work/local/etc/sfcb/sfcb.cfg" || fail "sfcb.cfg not as before the install"

case="sfcb half installed (no sfcbrepos): nothing is staged"
stubs bin sfcbstage sfcbunstage
run "$postinst" configure
expect_calls
expect_said 1 "no CIM broker found"

case="OpenPegasus under /usr/local: classes, registration and providerDir; removal by module; purge restores"
stubs local/sbin cimmof cimprovider cimconfig
STUB_FAIL=cimprovider run "$postinst" configure # not registered yet: -l fails
expect_calls "cimprovider -l -m QelSensorsModule" "cimmof -n root/cimv2 $share/PXT_Sensors.mof" \
    "cimmof -n root/PG_InterOp $share/qelsensors-pegasus.mof" "cimconfig -g providerDir -p" \
    "cimconfig -s providerDir=lib:/usr/lib/Pegasus/providers:$libdir -p"
expect_said 1 "OpenPegasus.*restart cimserver"
run "$postrm" remove
expect_calls "cimprovider -r -m QelSensorsModule"
expect_said 1 "OpenPegasus"
run "$postrm" purge
[ "$(cat "$work/pegasus")" = "lib:/usr/lib/Pegasus/providers" ] || fail "providerDir $(cat "$work/pegasus")"
[ ! -e "$state" ] || fail "the record is left"

case="OpenPegasus has the module and the directory already: nothing changed, nothing undone"
stubs bin cimmof cimprovider cimconfig
echo "$libdir:lib" >"$work/pegasus"
run "$postinst" configure
expect_calls "cimprovider -l -m QelSensorsModule" "cimconfig -g providerDir -p"
expect_said 1 "restart cimserver"
run "$postrm" remove
expect_calls
run "$postrm" purge
expect_calls

case="OpenPegasus refuses (cimserver down): a message, providerDir untouched, the install goes on"
stubs bin cimmof cimprovider cimconfig
STUB_FAIL="cimprovider cimmof" run "$postinst" configure
expect_said 1 "cimserver running.*$reconfigure"
grep -q '^cimconfig' "$work/calls" && fail "providerDir touched"

case="both brokers: one line for each"
stubs local/bin sfcbstage sfcbunstage sfcbrepos cimmof cimprovider cimconfig
sfcb_cfg "$work/local/etc/sfcb/sfcb.cfg" "/usr/local/lib"
STUB_FAIL=cimprovider run "$postinst" configure
expect_said 2 "OpenPegasus"
run "$postrm" remove
grep -q '^sfcbunstage' "$work/calls" && grep -q '^cimprovider -r' "$work/calls" || fail "one missing"

case="other actions (abort-upgrade, upgrade, failed-upgrade) leave the brokers alone"
for action in "$postinst abort-upgrade 3.10.15" "$postrm upgrade 3.10.16" "$postrm failed-upgrade 3.10.16"; do
    # shellcheck disable=SC2086
    run $action
    expect_calls
    [ "$status" -eq 0 ] || fail "$action: status $status"
done

[ "$failures" -eq 0 ] && echo "maintainer scripts: all cases passed"
[ "$failures" -eq 0 ]
