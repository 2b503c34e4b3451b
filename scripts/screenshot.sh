#!/bin/sh
# Starts Ferrowin on the current (virtual) display, waits for its window to
# fill, saves a screenshot and ends the program. Every wait is bounded; what
# it started is stopped however it ends. Usage: screenshot.sh EXE PNG
set -eu
exe=$1 shot=$2
FERROWIN_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$FERROWIN_ROOT/scripts/wine-env.sh"
sh "$FERROWIN_ROOT/scripts/wineprefix.sh"

log=$(mktemp)
pid=""
finish() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    sh "$FERROWIN_ROOT/scripts/wine-stop.sh"
    rm -f "$log"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() {
    echo "screenshot: $1; Wine's output:" >&2
    tail -n 15 "$log" >&2
    exit 1
}

sh "$FERROWIN_ROOT/scripts/wine-run.sh" "$exe" >"$log" 2>&1 &
pid=$!
# The window is up once xwininfo finds it; a few more seconds for the list.
tries=0
until xwininfo -root -tree 2>/dev/null | grep -q '"Ferrowin"'; do
    kill -0 "$pid" 2>/dev/null || fail "Ferrowin ended before its window appeared"
    [ $((tries += 1)) -le 60 ] || fail "no Ferrowin window appeared within 30 s"
    sleep 0.5
done
sleep 3
# import can wait for good on a window that is gone or never maps.
if ! timeout 20 import -window Ferrowin "$shot" 2>/dev/null; then
    echo "screenshot: cannot take Ferrowin's window alone; taking the whole screen" >&2
    timeout 20 import -window root "$shot" ||
        fail "import could not take the screenshot within 20 s"
fi
