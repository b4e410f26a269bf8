#!/bin/sh
# Makes a sysroot of the target architecture's libraries for a cross build, without touching the
# machine's own packages: a private apt state (the machine's sources, the target as its only
# architecture, an empty list of installed packages) resolves the whole dependency closure of
# the -dev packages, downloads it, and dpkg-deb unpacks each package into the sysroot.
# The emulator runs the built programs with the sysroot's own loader and libc.
# Given a package list of its own, it makes any root of the target's packages the same way (the
# portable archives' bare test root: tools/bare-packages.txt).
# Usage: tools/cross-sysroot.sh arm64|armhf|amd64 <sysroot folder> [package list]
set -eu
arch=$1
root=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
stamp="$root/.complete"
list=$(realpath "${3:-$here/cross-packages.txt}")
if [ -f "$stamp" ] && [ "$stamp" -nt "$list" ] && [ "$stamp" -nt "$0" ]; then exit 0; fi

apt="$root.apt"
rm -rf "$root" "$apt"
mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$root"
: >"$apt/status"
cat >"$apt/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
APT::Install-Recommends "false";
Dir::State "$apt/state";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Dir::Etc::Preferences "/dev/null";
Dir::Etc::PreferencesParts "/dev/null";
EOF
export APT_CONFIG="$apt/apt.conf"
echo "Fetching the $arch libraries into $root"
apt-get update -qq
# shellcheck disable=SC2046
apt-get install -qq -y --download-only $(grep -v '^#' "$list") >/dev/null

# The packages' symbols and shlibs files, gathered where dpkg-shlibdeps -S looks for them, give
# the package's dependencies on the target (packaging/depends.cmake).
mkdir -p "$root/DEBIAN" "$apt/control"
for deb in "$apt"/cache/archives/*.deb; do
  dpkg-deb -x "$deb" "$root"
  rm -rf "$apt/control"/*
  dpkg-deb -e "$deb" "$apt/control"
  for info in symbols shlibs; do
    if [ -f "$apt/control/$info" ]; then cat "$apt/control/$info" >>"$root/DEBIAN/$info"; fi
  done
done

# Absolute links would leave the sysroot for the machine's own files: make them relative.
find "$root" -type l | while read -r link; do
  target=$(readlink "$link")
  case "$target" in
    /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$target")" "$link" ;;
  esac
done
rm -rf "$apt"
touch "$stamp"
