#!/bin/sh
# Installs the Debian packages listed in tools/packages.txt (or the lists given) that are missing,
# in one apt-get call; recommended packages only when a list names them.
set -eu
here=$(dirname "$0")
[ $# -gt 0 ] || set -- "$here/packages.txt"
missing=""
for pkg in $(grep -hv '^#' "$@"); do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  case "$status" in *"install ok installed"*) ;; *) missing="$missing $pkg" ;; esac
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  apt_get="apt-get"
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  apt_get="sudo apt-get"
else
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y$missing" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$apt_get update -qq
$apt_get install -y -qq --no-install-recommends $missing
