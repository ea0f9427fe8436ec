#!/bin/sh
# Inside the session of session.sh: starts the compositor, runs the command, ends the compositor.
set -u
. "$VM_BIN/compositors.sh"
session_start || { echo "session: the $VM_KIND compositor did not start"; tail -n 30 "$VM_OUT/$VM_KIND.log"; session_stop; exit 3; }
"$@"
status=$?
session_stop
exit $status
