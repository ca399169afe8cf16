#!/usr/bin/env bash
# The conversion benchmark, from a fresh clone:
#   ./bench/run.sh            full run (5 to 10 minutes, most of it lv_font_conv)
#   ./bench/run.sh --quick    one run each, ASCII and common sets only
#   ./bench/run.sh --help     every option of bench/bench.py
#   ./bench/run.sh --only-window   the window alone: offscreen and under Xvfb
#   ./bench/run.sh --codec [--lvgl-src DIR]   compressed glyphs: flash on a Cortex-M4,
#                             decode time, conversion time (bench/codec_bench.py)
# Builds through scripts/setup.sh (which also installs the fonts), installs the
# peer lv_font_conv with npm into bench/.peer/, then runs bench/bench.py. The
# table is printed and kept in bench/out/latest.md.
# --no-setup (first argument) skips the build and installation steps.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
peer_package=lv_font_conv@1.5.3

if [ "${1:-}" = "--no-setup" ]; then
  shift
else
  # Build chatter goes to standard error; standard output carries only the table.
  "$root/scripts/setup.sh" >&2

  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  missing=()
  command -v python3 >/dev/null || missing+=(python3)
  command -v npm >/dev/null || missing+=(nodejs npm)
  # The window is also timed on a private X server with a window manager.
  command -v Xvfb >/dev/null || missing+=(xvfb)
  command -v openbox >/dev/null || missing+=(openbox)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi

  only_window=no
  codec=no
  for arg in "$@"; do
    [ "$arg" = --only-window ] && only_window=yes
    [ "$arg" = --codec ] && codec=yes
  done
  # The compressed fonts' flash is measured with the ARM toolchain.
  if [ $codec = yes ] && ! command -v arm-none-eabi-gcc >/dev/null; then
    echo "Installing: gcc-arm-none-eabi libnewlib-arm-none-eabi" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      gcc-arm-none-eabi libnewlib-arm-none-eabi >&2
  fi
  if [ $only_window = no ] && [ ! -f "$root/bench/.peer/node_modules/lv_font_conv/lv_font_conv.js" ]; then
    echo "Installing $peer_package into bench/.peer/" >&2
    mkdir -p "$root/bench/.peer"
    npm install --prefix "$root/bench/.peer" --no-audit --no-fund --loglevel=error "$peer_package" >&2
  fi
fi

if [ "${1:-}" = "--codec" ]; then
  shift
  exec python3 "$root/bench/codec_bench.py" "$@"
fi
exec python3 "$root/bench/bench.py" "$@"
