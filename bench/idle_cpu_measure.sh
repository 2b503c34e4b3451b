#!/bin/sh
# Measures, on the X display it is given, the CPU that Ferrowin and Wine's
# task manager each use while idle: started in turn (Ferrowin, the task
# manager on its first page, then on its processes page; twice) beside the
# same idle child processes, each measured from /proc/PID/stat after it
# settles. Also shows what wineserver and Xvfb spend
# meanwhile, as painting and every process query go through them.
# Arguments: [seconds per window] [idle children] [settle seconds].
set -eu
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
seconds=${1:-20}
children=${2:-20}
settle=${3:-5}
hz=$(getconf CLK_TCK)
bench=$FERROWIN_BUILD/bench

# Whatever happens, nothing of this prefix outlives the script.
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM

# The Linux process that runs a Windows program: Wine's loader (not a shell,
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

wait_for_wine_process() {
    for _ in $(seq 300); do
        pid=$(find_wine_process "$1" | head -n 1)
        [ -n "$pid" ] && echo "$pid" && return 0
        sleep 0.1
    done
    echo "$1 did not start" >&2
    return 1
}

# The prefix's server runs in a folder named after the prefix's device and
# inode; other prefixes on the machine have servers of their own.
find_wineserver() {
    server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in
        */"$server") cat "$p/comm" | grep -q '^wineserver' && echo "${p#/proc/}" ;;
        esac
    done | head -n 1
}

find_xvfb() {
    ps -eo pid=,args= | awk -v d="$DISPLAY" '$2 ~ /Xvfb$/ && $3 == d { print $1; exit }'
}

# utime + stime in clock ticks; the name in field 2 may hold spaces.
cpu_ticks() {
    [ -n "$1" ] && [ -r "/proc/$1/stat" ] || { echo 0; return; }
    sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

now_ms() {
    date +%s%3N
}

for i in $(seq "$children"); do
    wine "$bench/idle_child.exe" >/dev/null 2>&1 &
done
for _ in $(seq 600); do
    [ "$(find_wine_process idle_child.exe | wc -l)" -ge "$children" ] && break
    sleep 0.1
done
server=$(find_wineserver)
xvfb=$(find_xvfb)
echo "idle children: $(find_wine_process idle_child.exe | wc -l); wineserver $server; Xvfb $xvfb;" \
    "${seconds} s per window after ${settle} s to settle; CLK_TCK $hz"
LC_ALL=C printf '%-16s %3s %8s %13s %16s %10s\n' program run seconds "own CPU ms/s" "wineserver ms/s" "Xvfb ms/s"

results=""
# label exe tab run command...: tab is the page to show first, or "-".
measure() {
    label=$1 exe=$2 tab=$3 run=$4
    shift 4
    "$@" >/dev/null 2>&1 &
    pid=$(wait_for_wine_process "$exe")
    if [ "$tab" != - ]; then
        for _ in $(seq 50); do
            wine "$bench/show_tab.exe" "$exe" "$tab" >/dev/null 2>&1 && break
            sleep 0.2
        done
    fi
    sleep "$settle"
    if [ -n "${FERROWIN_IDLE_SHOTS:-}" ]; then
        import -window root "$FERROWIN_IDLE_SHOTS-$label.png"
    fi
    p0=$(cpu_ticks "$pid") s0=$(cpu_ticks "$server") x0=$(cpu_ticks "$xvfb") t0=$(now_ms)
    sleep "$seconds"
    p1=$(cpu_ticks "$pid") s1=$(cpu_ticks "$server") x1=$(cpu_ticks "$xvfb") t1=$(now_ms)
    if [ ! -d "/proc/$pid" ]; then
        echo "$exe (pid $pid) ended during the measurement" >&2
        exit 1
    fi
    line=$(LC_ALL=C awk -v n="$label" -v r="$run" -v hz="$hz" -v ms=$((t1 - t0)) \
        -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v x=$((x1 - x0)) 'BEGIN {
            f = 1000 / hz / (ms / 1000)
            printf "%-16s %3d %8.1f %13.2f %16.2f %10.2f\n", n, r, ms / 1000, p * f, s * f, x * f
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
    measure ferrowin ferrowin.exe - $run wine "$FERROWIN_BUILD/ferrowin.exe"
    measure taskmgr taskmgr.exe - $run wine taskmgr
    measure taskmgr-procs taskmgr.exe 1 $run wine taskmgr
done

printf '%s' "$results" | LC_ALL=C awk '
    { cpu[$1] += $4; all[$1] += $4 + $5 + $6; n[$1]++ }
    END {
        for (k in n) {
            cpu[k] /= n[k]
            all[k] /= n[k]
        }
        printf "mean own CPU ms/s: ferrowin %.2f, taskmgr %.2f, taskmgr-procs %.2f\n",
               cpu["ferrowin"], cpu["taskmgr"], cpu["taskmgr-procs"]
        printf "mean with wineserver and Xvfb: ferrowin %.2f, taskmgr %.2f, taskmgr-procs %.2f\n",
               all["ferrowin"], all["taskmgr"], all["taskmgr-procs"]
        for (k in n) {
            if (k != "ferrowin" && cpu[k] <= 0) {
                printf "%s used no measurable CPU\n", k
                exit
            }
        }
        printf "ratio Ferrowin / task manager (own CPU): %.2f on its first page, %.2f on its processes page\n",
               cpu["ferrowin"] / cpu["taskmgr"], cpu["ferrowin"] / cpu["taskmgr-procs"]
    }'
