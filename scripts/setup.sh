#!/usr/bin/env bash
# Installs what the builds and the tests need on a Debian machine, only what is missing.
# Usage: scripts/setup.sh posix|all
set -euo pipefail
want=(g++ cmake ninja-build libgtest-dev python3 curl)
if [ "${1:-all}" = all ]; then
  want+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 xvfb xauth xdotool locales
         fp-utils imagemagick fonts-ipafont-gothic)
fi
missing=()
for package in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ "${1:-all}" = all ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
