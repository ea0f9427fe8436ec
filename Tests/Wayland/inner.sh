#!/bin/sh
# Inside the session of session.sh: starts the compositor, runs the command, ends the compositor.
set -u
. "$VM_BIN/compositors.sh"
session_start || { echo "session: the $VM_KIND compositor did not start"; tail -n 30 "$VM_OUT/$VM_KIND.log"; session_stop; exit 3; }
"$@"
status=$?
# A compositor that died under a failed check is its own fault, not the program's: session.sh may run the
# check once more. The program going first (or alone) still fails.
c=$(pid_of "$VM_KIND")
if [ $status -ne 0 ] && [ -n "$c" ] && ! kill -0 "$c" 2>/dev/null; then
  echo "session: the $VM_KIND compositor ended during the check"
  status=75
fi
session_stop
exit $status
