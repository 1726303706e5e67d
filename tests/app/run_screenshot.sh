#!/bin/sh
# Runs the screenshot program on a virtual X display; exits 77 (skipped) when
# xvfb-run is not installed. Arguments after the output go to the program.
set -eu
program=$1
output=$2
shift 2
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-run not found: screenshot skipped"
    exit 77
fi
mkdir -p "$(dirname "$output")"
unset QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$output" "$@"
