#!/bin/sh
# Compares the CPU that Ferrowin and Wine's task manager each use while idle,
# on a virtual X display: started in turn (Ferrowin, the task manager on its
# first page, then on its processes page; twice) beside the same idle child
# processes, each measured from /proc/PID/stat after it settles. Also shows
# what wineserver and Xvfb spend meanwhile, as painting and every process
# query go through them. Arguments: [seconds per window] [idle children]
# [settle seconds].
if [ "${1:-}" != --on-display ]; then
    targets="ferrowin idle_child show_tab"
    . "$(dirname "$0")/common.sh"
    exec xvfb-run -a -s "$FERROWIN_SCREEN" sh "$0" --on-display "$@"
fi
shift
set -eu
seconds=${1:-20} children=${2:-20} settle=${3:-5}
hz=$(getconf CLK_TCK)
bench=$bench_build/bench

# Whatever happens, nothing of this prefix outlives the script.
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM

# The Linux processes that run a Windows program: Wine's loader (not a shell,
# not wineserver) with the program's name on its command line, in this
# prefix: other prefixes on the machine may run the same programs.
find_wine_process() {
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/exe" 2>/dev/null)" in
        */wine | */wine-preloader | */wine64 | */wine64-preloader) ;;
        *) continue ;;
        esac
        if tr '\0' ' ' <"$p/cmdline" 2>/dev/null | grep -qiF "$1" &&
            tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "${p#/proc/}"
        fi
    done
}

# utime + stime in clock ticks; the name in field 2 may hold spaces.
cpu_ticks() {
    [ -n "$1" ] && [ -r "/proc/$1/stat" ] || { echo 0; return; }
    sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# Waits up to 60 s for at least $2 processes of program $1.
wait_for() {
    for _ in $(seq 600); do
        [ "$(find_wine_process "$1" | wc -l)" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

for _ in $(seq "$children"); do
    "$FERROWIN_WINE" "$bench/idle_child.exe" >/dev/null 2>&1 &
done
wait_for idle_child.exe "$children" || true
# The prefix's server runs in a folder named after the prefix's device and
# inode; other prefixes on the machine have servers of their own.
server_dir=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
server=$(for p in /proc/[0-9]*; do
    case "$(readlink "$p/cwd" 2>/dev/null)" in
    */"$server_dir") grep -q '^wineserver' "$p/comm" && echo "${p#/proc/}" ;;
    esac
done | head -n 1)
xvfb=$(ps -eo pid=,args= | awk -v d="$DISPLAY" '$2 ~ /Xvfb$/ && $3 == d { print $1; exit }')
echo "idle children: $(find_wine_process idle_child.exe | wc -l); wineserver $server; Xvfb $xvfb;" \
    "${seconds} s per window after ${settle} s to settle; CLK_TCK $hz"
LC_ALL=C printf '%-16s %3s %8s %13s %16s %10s\n' program run seconds "own CPU ms/s" "wineserver ms/s" "Xvfb ms/s"

results=""
# label exe tab run command...: tab is the page to show first, or "-".
measure() {
    label=$1 exe=$2 tab=$3 run=$4
    shift 4
    "$@" >/dev/null 2>&1 &
    wait_for "$exe" 1 || { echo "$exe did not start" >&2; exit 1; }
    pid=$(find_wine_process "$exe" | head -n 1)
    for _ in $(seq 50); do
        [ "$tab" = - ] || "$FERROWIN_WINE" "$bench/show_tab.exe" "$exe" "$tab" >/dev/null 2>&1 && break
        sleep 0.2
    done
    sleep "$settle"
    [ -z "${FERROWIN_IDLE_SHOTS:-}" ] || import -window root "$FERROWIN_IDLE_SHOTS-$label.png"
    before="$(cpu_ticks "$pid") $(cpu_ticks "$server") $(cpu_ticks "$xvfb") $(date +%s%3N)"
    sleep "$seconds"
    after="$(cpu_ticks "$pid") $(cpu_ticks "$server") $(cpu_ticks "$xvfb") $(date +%s%3N)"
    [ -d "/proc/$pid" ] || { echo "$exe (pid $pid) ended during the measurement" >&2; exit 1; }
    line=$(echo "$before $after" | LC_ALL=C awk -v n="$label" -v r="$run" -v hz="$hz" '{
        s = ($8 - $4) / 1000; f = 1000 / hz / s
        printf "%-16s %3d %8.1f %13.2f %16.2f %10.2f\n", n, r, s, ($5 - $1) * f, ($6 - $2) * f, ($7 - $3) * f
    }')
    kill "$pid" 2>/dev/null || true
    while [ -d "/proc/$pid" ]; do sleep 0.1; done
    echo "$line"
    results="$results$line
"
}

# Wine's task manager opens on its applications page, which lists windows
# only; its processes page is the one doing Ferrowin's work.
for run in 1 2; do
    measure ferrowin ferrowin.exe - $run "$FERROWIN_WINE" "$bench_build/ferrowin.exe"
    measure taskmgr taskmgr.exe - $run "$FERROWIN_WINE" taskmgr
    measure taskmgr-procs taskmgr.exe 1 $run "$FERROWIN_WINE" taskmgr
done

printf '%s' "$results" | LC_ALL=C awk '
    { cpu[$1] += $4 / 2; all[$1] += ($4 + $5 + $6) / 2 }
    END {
        printf "mean own CPU ms/s: ferrowin %.2f, taskmgr %.2f, taskmgr-procs %.2f\n",
               cpu["ferrowin"], cpu["taskmgr"], cpu["taskmgr-procs"]
        printf "mean with wineserver and Xvfb: ferrowin %.2f, taskmgr %.2f, taskmgr-procs %.2f\n",
               all["ferrowin"], all["taskmgr"], all["taskmgr-procs"]
        if (cpu["taskmgr"] <= 0 || cpu["taskmgr-procs"] <= 0) {
            print "the task manager used no measurable CPU"
            exit
        }
        printf "ratio Ferrowin / task manager (own CPU): %.2f on its first page, %.2f on its processes page\n",
               cpu["ferrowin"] / cpu["taskmgr"], cpu["ferrowin"] / cpu["taskmgr-procs"]
    }'
