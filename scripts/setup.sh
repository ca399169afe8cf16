#!/usr/bin/env bash
# Installs what the build needs (Debian 12), then configures and builds into ./build.
# Idempotent: packages already present are not touched, and the build is incremental.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

pkgs=(cmake make g++ gcc qtbase5-dev qtbase5-dev-tools qtbase5-private-dev
      fonts-wqy-microhei fonts-font-awesome fonts-dejavu-core fonts-dejavu-extra fonts-droid-fallback fonts-urw-base35
      xvfb xauth)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing: ${missing[*]}"
  # apt and dpkg report every unpacked file; keep that in a log and show it only when
  # something goes wrong.
  log=$(mktemp)
  if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
           --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "setup: installing the packages failed (see above)" >&2
    exit 1
  fi
  rm -f "$log"
  echo "Installed."
fi

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"$(nproc)"
