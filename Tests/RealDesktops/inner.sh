#!/bin/sh
# Inside the session of session.sh: starts the kind's programs, runs the command, ends the programs.
set -u
. "$VM_BIN/kinds.sh"
session_start || { echo "session: the $VM_KIND desktop did not start"; session_stop; exit 3; }
"$@"
status=$?
session_stop
exit $status
