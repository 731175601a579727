#!/bin/sh
# The provider package's registration logic, run against stub brokers: each stub records its
# command line, and fails when its name is in STUB_FAIL. PATH holds only the stubs, so a broker
# installed on this machine is never touched, and a script that needs anything else fails here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
postinst=$here/../../debian/libqelsensors0.postinst
prerm=$here/../../debian/libqelsensors0.prerm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# stubs NAME...: a fresh stub directory with these commands.
stubs() {
    rm -rf "$work/bin" && mkdir "$work/bin"
    : >"$work/calls"
    for name in "$@"; do
        cat >"$work/bin/$name" <<'STUB'
#!/bin/sh
echo "${0##*/} $*" >>"$STUB_LOG"
case " ${STUB_FAIL:-} " in *" ${0##*/} "*) exit 1 ;; esac
exit 0
STUB
        chmod +x "$work/bin/$name"
    done
}

# run SCRIPT ARGS...: runs a maintainer script as dpkg would; sets status, out, err and the
# calls of this run.
run() {
    : >"$work/calls"
    script=$1
    shift
    status=0
    PATH=$work/bin STUB_LOG=$work/calls /bin/sh "$script" "$@" >"$work/out" 2>"$work/err" || status=$?
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

share=/usr/share/qelsensors

case="no broker: configure and remove are quiet and succeed"
stubs
run "$postinst" configure
[ "$status" -eq 0 ] && [ -z "$out$err" ] || fail "status $status or output"
run "$prerm" remove
[ "$status" -eq 0 ] && [ -z "$out$err" ] || fail "status $status or output"

case="sfcb: stages the classes and registration, rebuilds the repository, says so"
stubs sfcbstage sfcbunstage sfcbrepos
run "$postinst" configure
expect_calls "sfcbstage -n root/cimv2 -r $share/qelsensors.reg $share/PXT_Sensors.mof" "sfcbrepos -f"
[ "$status" -eq 0 ] && echo "$out" | grep -q sfcb || fail "status $status, no word of sfcb"
run "$prerm" remove
expect_calls "sfcbunstage -n root/cimv2 -r qelsensors.reg PXT_Sensors.mof" "sfcbrepos -f"
[ "$status" -eq 0 ] && echo "$out" | grep -q sfcb || fail "status $status, no word of sfcb"

case="sfcb refuses: no repository rebuild, a message, the install goes on"
stubs sfcbstage sfcbunstage sfcbrepos
STUB_FAIL=sfcbstage run "$postinst" configure
expect_calls "sfcbstage -n root/cimv2 -r $share/qelsensors.reg $share/PXT_Sensors.mof"
[ "$status" -eq 0 ] && [ -n "$err" ] || fail "status $status, or silent"
STUB_FAIL=sfcbrepos run "$prerm" remove
[ "$status" -eq 0 ] && [ -n "$err" ] || fail "removal: status $status, or silent"

case="sfcb half installed (no sfcbrepos): nothing is staged"
stubs sfcbstage sfcbunstage
run "$postinst" configure
expect_calls
[ "$status" -eq 0 ] && [ -z "$out$err" ] || fail "status $status or output"

case="OpenPegasus: classes into root/cimv2, registration into root/PG_InterOp; removed by module"
stubs cimmof cimprovider
STUB_FAIL=cimprovider run "$postinst" configure # not registered yet: -l fails
expect_calls "cimprovider -l -m QelSensorsModule" "cimmof -n root/cimv2 $share/PXT_Sensors.mof" \
    "cimmof -n root/PG_InterOp $share/qelsensors-pegasus.mof"
[ "$status" -eq 0 ] && echo "$out" | grep -q OpenPegasus || fail "status $status, no word of OpenPegasus"
run "$prerm" remove
expect_calls "cimprovider -r -m QelSensorsModule"
[ "$status" -eq 0 ] && echo "$out" | grep -q OpenPegasus || fail "status $status, no word of OpenPegasus"

case="OpenPegasus already has the module (upgrade): nothing compiled again"
stubs cimmof cimprovider
run "$postinst" configure 3.10.14
expect_calls "cimprovider -l -m QelSensorsModule"
[ "$status" -eq 0 ] || fail "status $status"

case="OpenPegasus refuses (cimserver down): a message, the install and removal go on"
stubs cimmof cimprovider
STUB_FAIL="cimprovider cimmof" run "$postinst" configure
[ "$status" -eq 0 ] && [ -n "$err" ] || fail "status $status, or silent"
STUB_FAIL=cimprovider run "$prerm" remove
[ "$status" -eq 0 ] && [ -n "$err" ] || fail "removal: status $status, or silent"

case="both brokers: registered with each"
stubs sfcbstage sfcbunstage sfcbrepos cimmof cimprovider
STUB_FAIL=cimprovider run "$postinst" configure
grep -q '^sfcbrepos -f$' "$work/calls" && grep -q '^cimmof -n root/PG_InterOp' "$work/calls" || fail "one missing"
run "$prerm" remove
grep -q '^sfcbunstage' "$work/calls" && grep -q '^cimprovider -r' "$work/calls" || fail "one missing"

case="other actions (abort-upgrade, upgrade, failed-upgrade) leave the brokers alone"
stubs sfcbstage sfcbunstage sfcbrepos cimmof cimprovider
for action in "$postinst abort-upgrade 3.10.15" "$prerm upgrade 3.10.16" "$prerm failed-upgrade 3.10.16"; do
    # shellcheck disable=SC2086
    run $action
    expect_calls
    [ "$status" -eq 0 ] || fail "$action: status $status"
done

[ "$failures" -eq 0 ] && echo "maintainer scripts: all cases passed"
[ "$failures" -eq 0 ]
