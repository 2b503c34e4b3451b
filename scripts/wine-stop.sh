#!/bin/sh
# Ends every Wine process of Ferrowin's prefix, if any runs, and the emulated
# machine of the build (vm-run.sh), if it still runs.
. "$(dirname "$0")/wine-env.sh"
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
pidfile=$FERROWIN_BUILD/vm/qemu.pid
if [ -f "$pidfile" ]; then
    pid=$(cat "$pidfile")
    # Only while that number is still this build's machine.
    if [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "-pidfile $pidfile "; then
        kill "$pid" 2>/dev/null
    fi
fi
exit 0
