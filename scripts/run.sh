#!/usr/bin/env bash
# Starts Seamora: installs what is missing, builds the optimised build in build/ and starts
# Smra_En with the arguments given (a project file to open, for instance).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
  echo "Seamora is a windowed program: start it from a desktop session." >&2
  exit 1
fi

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSMRA_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target Smra_En
exec "$root/build/shell/Smra_En" "$@"
