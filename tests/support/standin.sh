#!/bin/sh
# Stand-in for an extension program or the installer in tests. Appends the
# tab-separated line "<pid> <file name> start <working folder> <arguments>"
# to $ORVA_TEST_LOG when it starts and "<pid> <file name> end" when it ends.
# In between it runs the shell lines of "<its own path>.does", if there is
# such a file: for example "read line" (wait on standard input),
# "sleep 600", "kill -SEGV $$".
log=${ORVA_TEST_LOG:-/dev/null}
name=$(basename "$0")
printf '%s\t%s\tstart\t%s\t%s\n' "$$" "$name" "$(pwd)" "$*" >>"$log"
if [ -f "$0.does" ]; then
    # shellcheck disable=SC1090
    . "$0.does"
fi
printf '%s\t%s\tend\n' "$$" "$name" >>"$log"
