#!/bin/sh
# sound-session.sh COMMAND [ARGS...]: runs the command on a real X server (Xvfb with openbox) with a
# private PulseAudio server whose default output is the null sink "q". With RECORD=FILE set, the sink's
# monitor is recorded into FILE (raw s16le, 2 channels, 44100 Hz) while the command runs. The servers
# are this script's own and end with it.
set -e
runtime=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-pulse.XXXXXX")
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
unset PULSE_SERVER
# As root PulseAudio warns but runs in this private runtime folder; -n skips the system's default.pa.
pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target=stderr \
  --load=module-native-protocol-unix --load="module-null-sink sink_name=q" 2>"$runtime/pulse.log"
tries=0
until pactl info >/dev/null 2>&1; do
  tries=$((tries + 1))
  if [ "$tries" -gt 50 ]; then
    cat "$runtime/pulse.log" >&2
    echo "sound-session: PulseAudio did not start" >&2
    exit 1
  fi
  sleep 0.1
done
pactl set-default-sink q
recorder=""
if [ -n "$RECORD" ]; then
  parec -d q.monitor --raw --format=s16le --channels=2 --rate=44100 >"$RECORD" &
  recorder=$!
  sleep 0.3
fi
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'openbox >/dev/null 2>&1 & sleep 1; "$@"' sh "$@" || status=$?
if [ -n "$recorder" ]; then
  sleep 0.3
  kill "$recorder" 2>/dev/null || true
  wait "$recorder" 2>/dev/null || true
fi
pactl exit 2>/dev/null || true
rm -rf "$runtime"
exit "$status"
