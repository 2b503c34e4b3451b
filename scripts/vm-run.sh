#!/bin/sh
# Runs 32-bit work in the small machine (qemu-system-x86_64 with software
# emulation, Debian's kernel; vm-setup.sh makes it) where this host cannot run
# 32-bit programs. The machine sees the host's / read-only, writes only to
# $FERROWIN_BUILD/vm (results/ for this run, wineprefix/ for the next ones),
# and is bounded by FERROWIN_VM_TIME_LIMIT seconds (default 3000); its console
# is kept in vm/console.log and its end shown when it fails. Usage:
#   vm-run.sh tests           CTest's set-up of the _x86 entries: one boot runs
#                             those this CTest run selects, recording each
#                             one's output and exit status
#   vm-run.sh result NAME     an _x86 entry's command: shows what the machine
#                             recorded for it and exits as it did
#   vm-run.sh screenshot PNG  the 32-bit ferrowin.exe's screenshot, taken in
#                             the machine on a virtual display
set -eu
. "$(dirname "$0")/wine-env.sh"
vm=$FERROWIN_BUILD/vm
results=$vm/results
console=$vm/console.log

# show_end WHAT FILE: the end of FILE, without the terminal's control
# sequences that the firmware writes to the console.
show_end() {
    echo "vm-run: the end of $1 ($2):"
    esc=$(printf '\033')
    tail -n 25 "$2" 2>/dev/null | tr -d '\r' | sed "s/$esc\[[0-9;?]*[A-Za-z]//g; s/${esc}c//g"
}

# boot JOB: runs "scripts/vm-guest.sh JOB" in the machine; the files the job
# needs are already in $results. Sets job_status to the job's exit status, or
# to why there is none.
qemu=""
stop_machine() {
    [ -z "$qemu" ] || kill "$qemu" 2>/dev/null || true
}
boot() {
    sh "$FERROWIN_ROOT/scripts/vm-setup.sh"
    limit=${FERROWIN_VM_TIME_LIMIT:-3000}
    # The vm folder, then the folders the job works in (vm-init.sh).
    printf '%s\n' "$vm" "$FERROWIN_ROOT" "$FERROWIN_BUILD" >"$vm/where"
    {
        echo "export FERROWIN_ROOT=$(quote "$FERROWIN_ROOT") FERROWIN_BUILD=$(quote "$FERROWIN_BUILD")"
        echo "exec sh $(quote "$FERROWIN_ROOT/scripts/vm-guest.sh") $1"
    } >"$results/job.sh"
    trap stop_machine EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    # --foreground keeps qemu in the caller's process group, so that ending
    # the group (scripts/test.sh on Ctrl-C) ends the machine too. qemu reads
    # a doubled comma in an option's value as a comma.
    timeout --foreground -k 10 "$limit" qemu-system-x86_64 \
        -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 4096 \
        -nographic -no-reboot -nic none \
        -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
        -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
        -virtfs "local,path=$(echo "$vm" | sed 's/,/,,/g'),mount_tag=vm,security_model=none" \
        </dev/null >"$console" 2>&1 &
    qemu=$!
    status=0
    wait "$qemu" || status=$?
    qemu=""
    if [ "$status" = 124 ] || [ "$status" = 137 ]; then
        echo "no status (the machine was stopped at its time limit of $limit s, FERROWIN_VM_TIME_LIMIT)" >"$results/status"
    elif [ ! -s "$results/status" ]; then
        echo "no status (the machine ended, qemu's status $status, before its job recorded one)" >"$results/status"
    fi
    job_status=$(cat "$results/status")
}

# x86_names CTEST-ARGS...: the _x86 entries that CTest selects with them.
x86_names() {
    ctest --test-dir "$FERROWIN_BUILD" -N "$@" | sed -n 's/^ *Test *#[0-9]*: \([A-Za-z0-9_]*_x86\)$/\1/p'
}

case ${1:-} in
tests)
    if [ "$FERROWIN_WINE_MODE" != vm ]; then
        echo "Skipped: no machine on Wine's '$FERROWIN_WINE_MODE' path: the _x86 entries run here or are skipped${FERROWIN_WINE32_REASON:+: $FERROWIN_WINE32_REASON}"
        exit 77
    fi
    # The _x86 entries this CTest run selects (scripts/test.sh passes its
    # arguments on, quoted); all of them when CTest was started otherwise.
    names=$(eval "x86_names ${FERROWIN_CTEST_ARGS:-}")
    [ -n "$names" ] || names=$(x86_names -R '_x86$')
    rm -rf "$results"
    mkdir -p "$results/tests"
    # shellcheck disable=SC2086 # one line of names
    echo "^($(echo $names | tr ' ' '|'))\$" >"$results/tests.regex"
    start=$(date +%s)
    boot tests
    echo "vm-run: the machine ran $(echo "$names" | wc -l) _x86 entries in $(($(date +%s) - start)) s:"
    sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: //p' "$results/ctest.log" 2>/dev/null || true
    missing=""
    for name in $names; do
        [ -f "$results/tests/$name.status" ] || missing="$missing $name"
    done
    if [ "$job_status" != 0 ] || [ -n "$missing" ]; then
        echo "vm-run: the machine's job ended with $job_status${missing:+; no result for$missing}"
        show_end "its CTest log" "$results/ctest.log"
        show_end "the machine's console" "$console"
        # Each entry reports what the machine recorded for it, and one without
        # a result fails by itself; the machine failed only when it recorded none.
        [ "$(echo "$missing" | wc -w)" -lt "$(echo "$names" | wc -w)" ] || exit 1
    fi
    ;;
result)
    name=${2:?"usage: vm-run.sh result NAME"}
    if [ ! -f "$results/tests/$name.status" ]; then
        echo "FAIL: the machine recorded no result for $name; its job ended with $(cat "$results/status" 2>/dev/null)"
        show_end "its CTest log" "$results/ctest.log"
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
        echo "vm-run: the screenshot in the machine failed; its job ended with $job_status"
        [ ! -s "$results/screenshot.log" ] || show_end "its output" "$results/screenshot.log"
        show_end "the machine's console" "$console"
        exit 1
    fi
    cp "$results/ferrowin.png" "$shot"
    ;;
*)
    echo "usage: vm-run.sh tests | result NAME | screenshot PNG" >&2
    exit 2
    ;;
esac
