#!/usr/bin/env bash
# Builds both builds and runs every test: the POSIX build's unit and black-box tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows build's tests under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$top/scripts/setup.sh" all

cmake -S "$top" -B "$top/build/posix" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build/posix" -j "$jobs"
cmake -S "$top" -B "$top/build/sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSORVANE_SANITIZE=ON >/dev/null
cmake --build "$top/build/sanitize" -j "$jobs"
cmake -S "$top" -B "$top/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$top/build/windows" -j "$jobs"

status=0
ctest --test-dir "$top/build/posix" --output-on-failure || status=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$top/build/sanitize" --output-on-failure || status=1

# Wine: a prefix of our own in the build tree, a Japanese locale (ANSI code page 932), a virtual display.
export WINEPREFIX="$top/build/wineprefix" WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  xvfb-run -a wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$top/build/windows" --output-on-failure || status=1
wineserver -k 2>/dev/null || true
exit $status
