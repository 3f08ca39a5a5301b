#!/bin/sh
# Runs the window benchmark on a real X server: Xvfb with the openbox window manager, as a desktop has
# them (xvfb-run, openbox). Usage: run-windows.sh BENCH_UI CLI WORKDIR [ROUNDS]
set -e
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'openbox >/dev/null 2>&1 & sleep 1; "$@"' sh "$@"
