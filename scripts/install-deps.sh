#!/usr/bin/env bash
# Installs the Debian packages that building and testing q7patcher needs.
# Safe to run again: it installs only what is missing, and generates the
# Slovak locale that gives Wine the ANSI code page 1250.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3
  zlib1g-dev libdeflate-dev libgtest-dev googletest
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils locales
  clang lua5.4 bc time
  python3-pefile osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^sk_SK\.utf-\?8$'; then
  echo "install-deps: generating the sk_SK.UTF-8 locale"
  $SUDO sed -i 's/^# *\(sk_SK.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^sk_SK.UTF-8 UTF-8' /etc/locale.gen || echo 'sk_SK.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
