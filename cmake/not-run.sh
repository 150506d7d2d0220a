#!/bin/sh
# not-run.sh REASON PROGRAM [ARGS...]: the emulator of a build whose programs cannot run on this
# machine (LYM_CANNOT_RUN). It runs nothing and says so; CTest takes the message, or the status 77
# (the usual code of a skipped test), for a skipped test, also when a test script that ran the
# program passes the message on and fails.
echo "Not run on this machine: $1" >&2
exit 77
