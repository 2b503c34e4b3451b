#!/bin/sh
# Runs 32-bit work in the small machine (qemu-system-x86_64 with software
# emulation, Debian's kernel; vm-setup.sh makes it) where this host cannot run
# 32-bit programs. The machine sees the host's / read-only, writes only to
# $FERROWIN_BUILD/vm (results/ for this run, wineprefix/ for the next ones),
# and is bounded by FERROWIN_VM_TIME_LIMIT seconds
# (default 3000); its console is kept in $FERROWIN_BUILD/vm/console.log and
# its end shown when it fails. Usage:
#   vm-run.sh tests     CTest's set-up of the _x86 entries: one boot runs all
#                       of them that this CTest run selects, and records each
#                       one's output and exit status
#   vm-run.sh result NAME
#                       an _x86 entry's command in the machine's mode: shows
#                       what the machine recorded for it and exits as it did
#   vm-run.sh screenshot PNG
#                       starts the 32-bit ferrowin.exe in the machine on a
#                       virtual display and saves its screenshot
set -eu
. "$(dirname "$0")/wine-env.sh"
vm=$FERROWIN_BUILD/vm
results=$vm/results
console=$vm/console.log

show_console() {
    echo "vm-run: the end of the machine's console ($console):"
    # Without the terminal's control sequences that the firmware writes.
    esc=$(printf '\033')
    tail -n 25 "$console" 2>/dev/null | tr -d '\r' | sed "s/$esc\[[0-9;?]*[A-Za-z]//g; s/${esc}c//g"
}

# boot JOB...: runs "scripts/vm-guest.sh JOB..." in the machine; the files the
# job needs are already in $results.
qemu=""
stop_machine() {
    [ -z "$qemu" ] || kill "$qemu" 2>/dev/null || true
}
boot() {
    sh "$FERROWIN_ROOT/scripts/vm-setup.sh"
    limit=${FERROWIN_VM_TIME_LIMIT:-3000}
    echo "$vm" >"$vm/where"
    {
        echo "export FERROWIN_ROOT='$FERROWIN_ROOT' FERROWIN_BUILD='$FERROWIN_BUILD'"
        echo "exec sh '$FERROWIN_ROOT/scripts/vm-guest.sh' $*"
    } >"$results/job.sh"
    trap stop_machine EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    # --foreground keeps qemu in the caller's process group, so that ending
    # the group (scripts/test.sh on Ctrl-C) ends the machine too.
    timeout --foreground -k 10 "$limit" qemu-system-x86_64 \
        -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 4096 \
        -nographic -no-reboot -nic none -pidfile "$vm/qemu.pid" \
        -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
        -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
        -virtfs "local,path=$vm,mount_tag=vm,security_model=none" \
        </dev/null >"$console" 2>&1 &
    qemu=$!
    status=0
    wait "$qemu" || status=$?
    qemu=""
    if [ "$status" = 124 ] || [ "$status" = 137 ]; then
        echo "vm-run: the machine was stopped after its time limit of $limit s (FERROWIN_VM_TIME_LIMIT)"
        show_console
        exit 1
    fi
    if [ ! -f "$results/status" ]; then
        echo "vm-run: the machine ended (qemu's status $status) before its job recorded how it ended"
        show_console
        exit 1
    fi
    job_status=$(cat "$results/status")
}

case ${1:-} in
tests)
    case $FERROWIN_WINE_MODE in
    full)
        echo "Skipped: no machine needed: this host runs the _x86 entries itself"
        exit 77
        ;;
    64)
        echo "Skipped: no machine: the _x86 entries are skipped: $FERROWIN_WINE32_REASON"
        exit 77
        ;;
    esac
    # The _x86 entries this CTest run selects (scripts/test.sh passes its
    # arguments on); all of them when CTest was started otherwise.
    # shellcheck disable=SC2086 # one word per argument
    names=$(ctest --test-dir "$FERROWIN_BUILD" -N ${FERROWIN_CTEST_ARGS:-} |
        sed -n 's/^ *Test *#[0-9]*: \([A-Za-z0-9_]*_x86\)$/\1/p')
    if [ -z "$names" ]; then
        names=$(ctest --test-dir "$FERROWIN_BUILD" -N -R '_x86$' |
            sed -n 's/^ *Test *#[0-9]*: \([A-Za-z0-9_]*_x86\)$/\1/p')
    fi
    rm -rf "$results"
    mkdir -p "$results/tests"
    # shellcheck disable=SC2086 # one line of names
    echo "^($(echo $names | tr ' ' '|'))\$" >"$results/tests.regex"
    start=$(date +%s)
    boot tests
    echo "vm-run: the machine ran $(echo "$names" | wc -l) _x86 entries in $(($(date +%s) - start)) s:"
    sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: //p' "$results/ctest.log" 2>/dev/null
    missing=""
    for name in $names; do
        [ -f "$results/tests/$name.status" ] || missing="$missing $name"
    done
    # An entry without a result fails by itself (vm-run.sh result); the
    # machine as a whole failed only when it recorded none.
    if [ "$job_status" != 0 ] || [ -n "$missing" ]; then
        echo "vm-run: the machine's job ended with $job_status${missing:+; no result for$missing}"
        echo "vm-run: the end of its CTest log ($results/ctest.log):"
        tail -n 25 "$results/ctest.log" 2>/dev/null
        show_console
        [ "$(echo "$missing" | wc -w)" -lt "$(echo "$names" | wc -w)" ] || exit 1
    fi
    ;;
result)
    name=${2:?"usage: vm-run.sh result NAME"}
    if [ ! -f "$results/tests/$name.status" ]; then
        echo "FAIL: the machine recorded no result for $name; the end of its CTest log ($results/ctest.log):"
        tail -n 25 "$results/ctest.log" 2>/dev/null
        exit 1
    fi
    cat "$results/tests/$name.out"
    echo "($name ran in the emulated machine: $(cat "$results/tests/$name.seconds") s)"
    exit "$(cat "$results/tests/$name.status")"
    ;;
screenshot)
    shot=${2:?"usage: vm-run.sh screenshot PNG"}
    rm -rf "$results"
    mkdir -p "$results"
    boot screenshot
    if [ "$job_status" != 0 ] || [ ! -f "$results/ferrowin.png" ]; then
        echo "vm-run: the screenshot in the machine failed ($job_status); its output:"
        tail -n 25 "$results/screenshot.log" 2>/dev/null
        show_console
        exit 1
    fi
    cp "$results/ferrowin.png" "$shot"
    ;;
*)
    echo "usage: vm-run.sh tests | result NAME | screenshot PNG" >&2
    exit 2
    ;;
esac
