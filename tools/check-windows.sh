#!/bin/sh
# The Windows edition's checks under Wine: the whole show built for Windows gives, in a console
# on the virtual clock, the frame digest pinned in show/frame_digest.h; then the real program,
# unpacked from the zip into a folder with a space in its name and started from another folder,
# in a window on Xvfb: after a pause and a Page Down its window holds the capture tool's frame
# of that moment, three times larger, colour for colour, and F the same four times larger on the
# whole screen; Escape and the right mouse button end it with status 0; without fonts16.bin it
# ends with status 1 and a line naming the file. Prints the pacing benchmark's figures in the
# window (share of a core, intervals). Needs the native build (build/) and builds build-windows/
# itself; the Wine prefix is made in build-windows/wine. Between the two, the song on a sound
# device that plays to nowhere: it plays, holds, seeks and starts again (windows/song_check.cpp).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${NATIVE_BUILD:-$root/build}" && pwd)
out=${WINDOWS_BUILD:-$root/build-windows}
"$root/tools/windows.sh"
out=$(cd "$out" && pwd)

export WINEPREFIX="$out/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
fail() {
  echo "check-windows: $*" >&2
  exit 1
}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  start=$(date +%s)
  wineboot -i >/dev/null 2>&1 || fail "cannot make a Wine prefix in $WINEPREFIX"
  echo "check-windows: Wine prefix made in $(($(date +%s) - start)) s"
fi

# ---- The program's resources: the icon group, the version, the manifest ----
version=$(cat "$native/version.txt")
resources=$(x86_64-w64-mingw32-objdump -p "$out/glasswhirligo.exe" |
  sed -n '/^The .rsrc Resource Directory/,/^$/p' | sed -n 's/^[0-9a-f]\{3\}   Entry: ID: 0x0*\([0-9a-f]*\), Value: 0x8.*/\1/p' | tr '\n' ' ')
# The first level of the resource tree names the types: 3 icon, e group icon, 10 version, 18 manifest.
[ "$resources" = "3 e 10 18 " ] ||
  fail "glasswhirligo.exe's resource types are [$resources], not icon, icon group, version, manifest"
strings -el "$out/glasswhirligo.exe" | grep -qx "$version" ||
  fail "glasswhirligo.exe's VERSIONINFO does not give the version $version"
strings -el "$out/glasswhirligo.exe" | grep -q "^Glasswhirligo, a self-running" ||
  fail "glasswhirligo.exe's VERSIONINFO has no description"
echo "check-windows: glasswhirligo.exe carries its icon group, its manifest and VERSIONINFO $version"
unzip -l "$out/glasswhirligo-$version-win64.zip" | grep -q ' file_id.diz$' &&
  unzip -l "$out/glasswhirligo-$version-win64.zip" | grep -q ' glasswhirligo.nfo$' ||
  fail "the zip lacks the info files"

# ---- The digest, without a display ----
pinned=$("$root/tools/pinned-digest.sh") || fail "no pinned digest"
report=$(cd "$native" && wine "$out/glasswhirligo-digest.exe" | tr -d '\r')
echo "windows (wine):"
echo "$report" | sed 's/^/  /'
got=$(echo "$report" | sed -n 's/^frame digest: //p')
[ "$got" = "$pinned" ] ||
  fail "the Windows build's frame digest is $got, the native one is pinned at $pinned"
echo "check-windows: Windows frame digest equals the pinned $pinned"
# The second part's first frame: where Page Down goes from the first part.
next_part_ms=$(echo "$report" | sed -n 's/^part starts: [0-9]* \([0-9]*\).*/\1/p')
[ -n "$next_part_ms" ] || fail "the digest program gave no part starts"

# ---- The program in a window ----
# Wine's own processes of the prefix started without a display; they would keep the window from
# opening.
wineserver -k 2>/dev/null || true
wineserver -w
work="$out/check"
rm -rf "$work"
mkdir -p "$work/Glass whirligo" "$work/elsewhere" "$work/fb"
unzip -q "$out/glasswhirligo-$(cat "$native/version.txt")-win64.zip" -d "$work/Glass whirligo"
program="$work/Glass whirligo/glasswhirligo.exe"
# A white root window: nothing of it may show around the full-screen frame.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -wr -fbdir "$work/fb" -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.log" &
xvfb=$!
demo=""
cleanup() {
  [ -z "$demo" ] || kill "$demo" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"

# The machine has no sound card. A sound device that plays to nowhere (ALSA's null output, which
# Wine takes for a device) lets the song's code run: opened, fed, moved by seeks, held by pauses,
# closed. Without it, waveOut finds no device and the demo runs silently.
printf 'pcm.!default {\n  type null\n}\n' >"$work/alsa-null.conf"
sound_device() { export ALSA_CONFIG_PATH="$work/alsa-null.conf"; }
no_sound_device() { unset ALSA_CONFIG_PATH; }

# The song on that device, on the real clock: it plays after a start and a seek, holds while
# paused, and plays from 0:00 after a stop and a new start, by the device's and the decoder's
# own positions.
sound_device
(cd "$native" && wine "$out/glasswhirligo-song-check.exe" | tr -d '\r') >"$work/song-check" 2>&1 ||
  fail "the song on a sound device: $(cat "$work/song-check")"
sed 's/^/  /' "$work/song-check"
no_sound_device

# Starts the program from the other folder; its window's id is in $window.
start_demo() {
  (cd "$work/elsewhere" && exec env GLASSWHIRLIGO_ERRORS_TO_STDERR=1 wine "$program" "$@") \
    >"$work/stdout" 2>"$work/stderr" &
  demo=$!
}
find_window() {
  window=""
  for _ in $(seq 600); do
    kill -0 "$demo" 2>/dev/null || fail "the program ended before its window appeared: $(cat "$work/stderr")"
    window=$(xdotool search --name '^Glasswhirligo by Morwick$' 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window appeared within a minute"
  xdotool windowfocus --sync "$window"
}
# Waits for the program to end (within 30 s); its exit status goes in $status.
wait_for_end() {
  for _ in $(seq 300); do
    kill -0 "$demo" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$demo" 2>/dev/null && fail "the program did not end: $(cat "$work/stderr")"
  status=0
  wait "$demo" || status=$?
  demo=""
}

sound_device
start_demo
find_window
# Space goes in while the loading screen runs: the show pauses at its first frame.
xdotool key space
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 960 ] && [ "$HEIGHT" = 720 ] || fail "the window is ${WIDTH}x$HEIGHT, not 960x720"
(cd "$native" && ./glasswhirligo-capture --seek "$(echo "$next_part_ms" | awk '{ printf "%.3f", $1 / 1000 }')" \
  -o "$work/next-part.raw")
sleep 1
xdotool key Next
same=""
for _ in $(seq 20); do
  sleep 0.5
  cp "$work/fb/Xvfb_screen0" "$work/screen.xwd"
  if python3 "$root/tools/xwd_shot.py" compare "$work/screen.xwd" "$X" "$Y" 3 "$work/next-part.raw" \
    >"$work/compare.txt"; then
    same=yes
    break
  fi
done
[ -n "$same" ] ||
  fail "after Page Down the window does not show the frame at ${next_part_ms} ms: $(cat "$work/compare.txt")"
echo "check-windows: after Page Down the window equals glasswhirligo-capture --seek at $next_part_ms ms, 3x: $(cat "$work/compare.txt")"
python3 "$root/tools/xwd_shot.py" png "$work/screen.xwd" "$X" "$Y" 960 720 "$work/window.png"

# F: the whole 1280 x 1024 screen, the frame four times larger between black bars; F again: the
# window as it was.
shows() {  # X Y SCALE [--black-around]
  for _ in $(seq 20); do
    sleep 0.5
    cp "$work/fb/Xvfb_screen0" "$work/screen.xwd"
    python3 "$root/tools/xwd_shot.py" compare "$work/screen.xwd" "$@" >"$work/compare.txt" && return 0
  done
  return 1
}
xdotool key f
shows 0 32 4 "$work/next-part.raw" --black-around ||
  fail "after F the screen does not show the frame 4x between black bars: $(cat "$work/compare.txt")"
echo "check-windows: F fills the screen at 4:3, black bars above and below: $(tr '\n' ' ' <"$work/compare.txt")"
xdotool key f
shows "$X" "$Y" 3 "$work/next-part.raw" ||
  fail "after F twice the window does not show the frame 3x: $(cat "$work/compare.txt")"
echo "check-windows: F again gives the window back"

xdotool key space  # playing again, with its song, until Escape
sleep 1
xdotool key Escape
wait_for_end
[ "$status" = 0 ] || fail "Escape did not end the program with status 0: $(cat "$work/stderr")"
grep -q 'running silently' "$work/stderr" && fail "no sound device was found: $(cat "$work/stderr")"
echo "check-windows: Escape ends the program with status 0 (its song played to a sound device)"

# Figures, not a test: the pacing benchmark in a window of its own, with its song.
echo "windows (wine) bench_pacing 5:"
(cd "$native" && wine "$out/bench_pacing.exe" 5 2>/dev/null | tr -d '\r' | sed 's/^/  /')
no_sound_device

# Any argument: full screen from the start.
start_demo full
find_window
# The X server may take the window's new size a moment after the window appears.
for _ in $(seq 50); do
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 1024 ] && break
  sleep 0.1
done
[ "$WIDTH" = 1280 ] && [ "$HEIGHT" = 1024 ] ||
  fail "started with an argument, the window is ${WIDTH}x$HEIGHT, not the whole 1280x1024 screen"
echo "check-windows: started with an argument it fills the screen"
xdotool mousemove --window "$window" 480 360 click 3
wait_for_end
[ "$status" = 0 ] ||
  fail "the right mouse button did not end the program with status 0: $(cat "$work/stderr")"
grep -q 'no audio device; running silently' "$work/stderr" ||
  fail "without a sound device the program did not say it runs silently: $(cat "$work/stderr")"
echo "check-windows: the right mouse button ends the program with status 0 (silently: no sound device)"

rm "$work/Glass whirligo/fonts16.bin"
start_demo
wait_for_end
line=$(grep 'fonts16.bin' "$work/stderr" || true)
[ "$status" = 1 ] && [ -n "$line" ] ||
  fail "without fonts16.bin: status $status, stderr: $(cat "$work/stderr")"
printf 'check-windows: without fonts16.bin the program ends with status 1: %s\n' "$line"
size=$(stat -c %s "$out/glasswhirligo-$(cat "$native/version.txt")-win64.zip")
echo "check-windows: glasswhirligo-$(cat "$native/version.txt")-win64.zip is $(awk "BEGIN { printf \"%.2f\", $size / 1048576 }") MB"
