#!/usr/bin/env bash
# Sets up and builds, then runs every test; exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)"
