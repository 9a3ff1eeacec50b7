# shellcheck shell=bash
# Helpers shared by the scripts that drive ORVA on a virtual X server.
# Source it; the sourcing script defines fail <message>.

step() { printf '== %s\n' "$*"; }

# A zombie has ended already; only its parent's reaping is left.
alive() {
    local state
    state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# wait_for <seconds> <what> <command...>: polls the command until it succeeds.
wait_for() {
    local seconds=$1 what=$2 deadline
    shift 2
    deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out after ${seconds}s waiting for $what"
        sleep 0.1
    done
}
