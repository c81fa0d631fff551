#!/usr/bin/env bash
# Builds the POSIX console build and runs it beside its config.ini, serving 127.0.0.1:8080.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" posix
cmake -S "$top" -B "$top/build/posix" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build/posix" --target sorvane
exec "$top/build/posix/app/sorvane" "$@"
