#!/bin/sh
# Ends every Wine process of Ferrowin's prefix, if any runs. The emulated
# machine is left to the vm-run.sh that started it: another run may be using it.
. "$(dirname "$0")/wine-env.sh"
[ ! -d "$WINEPREFIX" ] || wineserver -k 2>/dev/null || true
