#!/bin/sh
# Runs a Windows program under Wine in Ferrowin's prefix (the tests' emulator).
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
