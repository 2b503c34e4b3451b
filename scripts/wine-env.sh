# Sourced by the scripts that run Wine: Ferrowin's own prefix and settings.
# WINEPREFIX may be set by the caller; the default is inside the build tree.
: "${FERROWIN_BUILD:=$(cd "$(dirname "$0")/.." && pwd)/build}"
: "${WINEPREFIX:=$FERROWIN_BUILD/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
# Wine takes its 8-bit code page from the locale: 1251 for the Russian texts.
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
