# Sourced by the scripts that run Wine: Ferrowin's own prefix and settings,
# and the Wine loader that this host can run. FERROWIN_BUILD and WINEPREFIX
# may be set by the caller; the defaults are inside the build tree.
#
# A sourced file cannot see its own path, so the project's root comes from
# FERROWIN_ROOT, or else from the sourcing script's folder, which must be one
# level below the root (scripts/, bench/).
: "${FERROWIN_ROOT:=$(cd "$(dirname "$0")/.." && pwd)}"
[ -f "$FERROWIN_ROOT/scripts/wine-env.sh" ] ||
    { echo "wine-env: cannot find the project's root from $0; set FERROWIN_ROOT" >&2 && exit 1; }
export FERROWIN_ROOT
: "${FERROWIN_BUILD:=$FERROWIN_ROOT/build}"
: "${WINEPREFIX:=$FERROWIN_BUILD/wineprefix}"
export FERROWIN_BUILD WINEPREFIX
export WINEDEBUG=-all
# Overrides the caller gives (a test's, say) come after these.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# Wine takes its 8-bit code page from the locale: 1251 for the Russian texts.
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
# The screen of every virtual display (xvfb-run -s).
export FERROWIN_SCREEN='-screen 0 1280x1024x24'
# quote WORD: WORD as one shell word, whatever it holds.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }

# What wine-probe.sh found at set-up: "full" (32- and 64-bit programs), "vm"
# (64-bit programs here, 32-bit ones in the emulated machine) or "64" (64-bit
# programs only), then the reason. Without a record yet, the probe runs now.
FERROWIN_WINE_RECORD=$FERROWIN_BUILD/wine-mode
if [ ! -f "$FERROWIN_WINE_RECORD" ]; then
    sh "$FERROWIN_ROOT/scripts/wine-probe.sh" >/dev/null || exit 1
fi
FERROWIN_WINE_MODE=$(sed -n 1p "$FERROWIN_WINE_RECORD")
FERROWIN_WINE32_REASON=$(sed -n 2p "$FERROWIN_WINE_RECORD")
# The loader for this host's own runs, which also names the kind of prefix.
# Only on the full path /usr/bin/wine: it goes through the 32-bit loader
# whenever that is installed.
FERROWIN_WINE=/usr/lib/wine/wine64 FERROWIN_PREFIX_KIND=64
[ "$FERROWIN_WINE_MODE" != full ] || FERROWIN_WINE=wine FERROWIN_PREFIX_KIND=full
# The tree whose programs Wine runs here (build_run_tree TARGET... builds them
# there): the x86-64 one beside the 32-bit build where it runs 64-bit ones only.
FERROWIN_RUN_BUILD=$FERROWIN_BUILD
[ "$FERROWIN_WINE_MODE" = full ] || FERROWIN_RUN_BUILD=$FERROWIN_BUILD/x86_64
build_run_tree() {
    [ "$FERROWIN_RUN_BUILD" != "$FERROWIN_BUILD" ] || return 0
    cmake --build "$FERROWIN_BUILD" --target x86_64 >/dev/null
    cmake --build "$FERROWIN_RUN_BUILD" --target "$@" -- --no-print-directory >/dev/null
}
