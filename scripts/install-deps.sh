#!/usr/bin/env bash
# Installs the Debian packages that building and testing q7patcher needs
# (and nsis, whose makensis the benchmarks build their peer installers with).
# Safe to run again: it installs only what is missing, and generates the
# Slovak locale that gives Wine the ANSI code page 1250.
#
#   install-deps.sh          what make test and make demo need
#   install-deps.sh --i686   also what runs the shipped 32-bit installer:
#                            QEMU's user-mode emulator, registered for i386
#                            programs (left disabled: scripts/binfmt-i386.sh
#                            enables it only while the i686 lane runs), and
#                            32-bit Wine
set -euo pipefail

i686=no
case "${1:-}" in
"") ;;
--i686) i686=yes ;;
*)
  echo "usage: install-deps.sh [--i686]" >&2
  exit 2
  ;;
esac

packages=(
  build-essential cmake ninja-build pkg-config python3
  zlib1g-dev libdeflate-dev libgtest-dev googletest
  lzma-dev liblzma-dev nsis
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils locales
  clang lua5.4 bc time ccache
  python3-pefile osslsigncode openssl
  python3-jsonschema python3-yaml
  nsis
)
if [ "$i686" = yes ]; then packages+=(qemu-user-static binfmt-support); fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Another user of apt (an unattended upgrade, a second build) holds its lock
# for a while: wait for it instead of failing.
apt_get() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=600 "$@"
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes an installer's ANSI code page and display language from LANG:
# sk_SK gives Windows-1250, de_DE and fr_FR 1252, ru_RU 1251, ja_JP 932.
generate=no
for loc in sk_SK de_DE fr_FR ru_RU ja_JP; do
  locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8\$" && continue
  echo "install-deps: generating the $loc.UTF-8 locale"
  $SUDO sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  generate=yes
done
if [ "$generate" = yes ]; then $SUDO locale-gen >/dev/null; fi

[ "$i686" = yes ] || exit 0

# Many kernels run 32-bit programs themselves; where one does not, QEMU runs
# 32-bit Wine once the kernel hands i386 programs to it. The handler is
# registered here either way (disabled), but a refusal is fatal only where
# the kernel needs it.
binfmt="$SUDO bash $(dirname "$0")/binfmt-i386.sh"
registered=yes
$binfmt register || registered=no

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture to dpkg (32-bit Wine comes from it)"
  $SUDO dpkg --add-architecture i386
  apt_get update -qq
fi
if ! installed wine32:i386; then
  echo "install-deps: installing wine32:i386 (32-bit Wine, which runs the shipped installer)"
  apt-cache policy wine32:i386 2>/dev/null | grep -q 'Candidate: [0-9]' || apt_get update -qq
  if ! apt_get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
    echo "install-deps: apt could not install wine32:i386: Debian's i386 packages are needed for the i686 lane" >&2
    exit 1
  fi
fi

if [ "$($binfmt status)" = enabled ]; then
  echo "install-deps: the qemu-i386 handler is enabled (an i686 lane is running): not probing the kernel"
elif [ "$($binfmt probe)" = native ]; then
  echo "install-deps: this kernel runs 32-bit programs itself: the i686 lane needs no QEMU"
elif [ "$registered" = no ]; then
  echo "install-deps: this kernel runs no 32-bit programs and the qemu-i386 handler could not be registered (above): the i686 lane cannot run here" >&2
  exit 1
else
  echo "install-deps: this kernel runs no 32-bit programs: the i686 lane runs 32-bit Wine through QEMU (slow: about a minute per program start)"
fi
