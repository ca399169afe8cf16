#!/usr/bin/env bash
# Runs a command on a private X server with a window manager, as on a desktop:
#   bench/with_xvfb.sh [--dpi 96] [--size 1920x1080] COMMAND [ARGS...]
# Starts Xvfb on a free display and openbox on it, runs COMMAND with DISPLAY set and
# QT_QPA_PLATFORM=xcb, then stops both. Exits with the command's status.
set -euo pipefail
dpi=96
size=1920x1080
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) dpi=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--dpi N] [--size WxH] COMMAND [ARGS...]" >&2; exit 2; }
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install xvfb openbox)" >&2; exit 2; }
done

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 "${size}x24" -dpi "$dpi" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
openbox_pid=""
cleanup() {
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.05
done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start on :$display" >&2; exit 2; }
DISPLAY=":$display" openbox --sm-disable >/dev/null 2>&1 &
openbox_pid=$!
sleep 0.5  # the window manager takes over the screen before the first window maps

set +e
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
status=$?
exit $status
