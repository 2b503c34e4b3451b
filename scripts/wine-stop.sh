#!/bin/sh
# Ends every Wine process of Ferrowin's prefix, if any runs.
. "$(dirname "$0")/wine-env.sh"
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
exit 0
