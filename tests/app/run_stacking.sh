#!/bin/sh
# Runs the stacking check on a virtual X display under openbox; exits 77
# (skipped) when xvfb-run, openbox or xprop is not installed.
set -eu
program=$1
shift
if [ $# -gt 0 ]; then mkdir -p "$(dirname "$1")"; fi
for tool in xvfb-run openbox xprop; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool not found: stacking check skipped"
        exit 77
    fi
done
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    status=0
    "$@" || status=$?
    kill "$wm" 2>/dev/null || true
    exit $status' stacking "$program" "$@"
