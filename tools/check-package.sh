#!/bin/sh
# Checks the Debian package as a person gets it: unpacked into a scratch root, the installed
# program started from an unrelated folder plays the whole show (on the virtual clock, with
# the dummy drivers) to exit 0, showing as many frames as the build's own program; with its
# data files removed it fails with one line naming the font, and a non-zero status.
# The build folder gives the reference run and the preloaded frame counter of the fault tests.
# Usage: tools/check-package.sh <package.deb> <build folder>
set -eu
deb=$(realpath "$1")
build=$(realpath "$2")
counter="$build/libgw_frame_counter.so"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/gw-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
elsewhere="$scratch/elsewhere"
mkdir -p "$root" "$elsewhere"
failures=0
fail() { echo "check-package: $*" >&2; failures=$((failures + 1)); }

dpkg-deb -x "$deb" "$root"
program="$root/usr/games/glasswhirligo"
for file in usr/games/glasswhirligo usr/share/glasswhirligo/fonts16.bin \
            usr/share/glasswhirligo/demosong.ogg usr/share/applications/glasswhirligo.desktop \
            usr/share/icons/hicolor/128x128/apps/glasswhirligo.png \
            usr/share/man/man6/glasswhirligo.6.gz usr/share/doc/glasswhirligo/copyright; do
  [ -f "$root/$file" ] || fail "$file missing from the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in *libsdl-mixer1.2*) ;; *) fail "Depends lacks SDL_mixer: $depends" ;; esac

# Runs a program headless on the virtual clock in the current folder; $1 names the frame count.
run() {
  count=$1
  shift
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy GLASSWHIRLIGO_VIRTUAL_CLOCK=1 \
    LD_PRELOAD="$counter" GW_FRAME_COUNT_FILE="$count" "$@" 2>"$scratch/stderr"
}

(cd "$build" && run "$scratch/reference.txt" ./glasswhirligo) || fail "the build's program failed"
status=0
(cd "$elsewhere" && run "$scratch/frames.txt" "$program") || status=$?
[ "$status" -eq 0 ] || fail "the installed program exited with $status: $(cat "$scratch/stderr")"
[ -s "$scratch/stderr" ] && fail "the installed program wrote to stderr: $(cat "$scratch/stderr")"
[ "$(cat "$scratch/frames.txt" 2>/dev/null)" = "$(cat "$scratch/reference.txt")" ] ||
  fail "the installed program showed $(cat "$scratch/frames.txt" 2>/dev/null || echo no) frames," \
       "the build's $(cat "$scratch/reference.txt")"

rm "$root"/usr/share/glasswhirligo/*
status=0
(cd "$elsewhere" && run "$scratch/frames.txt" "$program") || status=$?
[ "$status" -ne 0 ] || fail "without its data the installed program exited with 0"
lines=$(wc -l <"$scratch/stderr")
[ "$lines" -eq 1 ] && grep -q "fonts16.bin" "$scratch/stderr" ||
  fail "without its data: expected one line naming fonts16.bin, got $lines: $(cat "$scratch/stderr")"

[ "$failures" -eq 0 ] || exit 1
echo "check-package: $(basename "$deb") installs and plays from anywhere; Depends: $depends"
