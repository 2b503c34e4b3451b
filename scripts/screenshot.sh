#!/bin/sh
# Starts Ferrowin on the current (virtual) display, waits for its window to
# fill, saves a screenshot and ends the program. Usage: screenshot.sh EXE PNG
set -eu
exe=$1 shot=$2
here=$(dirname "$0")
sh "$here/wineprefix.sh"
sh "$here/wine-run.sh" "$exe" &
pid=$!
# The window is up once xwininfo finds it; a few more seconds for the list.
for _ in $(seq 1 60); do
    xwininfo -root -tree 2>/dev/null | grep -q '"Ferrowin"' && break
    sleep 0.5
done
sleep 3
import -window Ferrowin "$shot" 2>/dev/null || import -window root "$shot"
kill "$pid" 2>/dev/null || true
. "$here/wine-env.sh"
wineserver -k 2>/dev/null || true
