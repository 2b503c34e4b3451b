# Sourced by the set-up scripts: step WHAT COMMAND... runs the command with
# its output in $log, and when it fails says what failed, shows the end of
# that output and exits. $step_who names the script in the message; with
# $step_log_kept set, the message names the log too (it outlives the script).
step() {
    what=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "$step_who: $what failed; its last lines${step_log_kept:+ ($log)}:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
}
