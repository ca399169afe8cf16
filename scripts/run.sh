#!/usr/bin/env bash
# Sets up and builds, then starts the window. Run it from the folder where
# config.ini should live (the program keeps its options in ./config.ini).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
exec "$root/build/quillmark" "$@"
