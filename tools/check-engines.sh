#!/bin/sh
# The page in Firefox and WebKit (web/tests/engines_test.mjs): installs the pinned drivers from
# web/tests/package-lock.json, starts a PulseAudio server of its own with a null sink (the tests
# record what it hears) and a virtual display for WebKit, and stops both at the end.
# usage: tools/check-engines.sh SITE_DIR NATIVE_BUILD_DIR OUT_DIR [ENGINE...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
site=$1 native=$2 out=$3
shift 3
[ $# -gt 0 ] || set -- firefox webkit chromium
tests="$root/web/tests"
"$root/tools/test-drivers.sh"

run=$(mktemp -d /tmp/gw-engines.XXXXXX)
pulse="" xvfb=""
stop() {
  [ -z "$pulse" ] || kill "$pulse" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$run"
}
trap stop EXIT INT TERM

export PULSE_RUNTIME_PATH="$run" XDG_RUNTIME_DIR="$run" PULSE_SERVER="unix:$run/native"
pulseaudio --daemonize=no -n --use-pid-file=no --disable-shm --exit-idle-time=-1 \
  --load="module-null-sink sink_name=gw rate=48000" \
  --load="module-native-protocol-unix socket=$run/native auth-anonymous=1" \
  --load="module-always-sink" >"$run/pulse.log" 2>&1 &
pulse=$!
export GW_PULSE_MONITOR=gw.monitor
display=$((90 + $$ % 100))
Xvfb ":$display" -screen 0 1600x1200x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$display"
for _ in 1 2 3 4 5 6 7 8 9 10; do
  pactl info >/dev/null 2>&1 && [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.5
done
pactl info >/dev/null 2>&1 || { echo "check-engines: PulseAudio did not start" >&2; cat "$run/pulse.log" >&2; exit 1; }

node "$tests/engines_test.mjs" "$site" "$native" "$out" "$@"
