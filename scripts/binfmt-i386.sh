#!/usr/bin/env bash
# The kernel's handler that runs i386 programs through QEMU's user-mode
# emulator (qemu-i386-static), through binfmt_misc.
#
#   binfmt-i386.sh register   mount binfmt_misc where it is not, register the
#                             handler when it is missing, and leave it disabled
#   binfmt-i386.sh enable     let the kernel run i386 programs through QEMU
#   binfmt-i386.sh disable    stop that
#   binfmt-i386.sh status     print enabled, disabled or missing
#   binfmt-i386.sh probe      print native when the kernel itself runs 32-bit
#                             Wine (the handler disabled), else qemu
#
# Keep it disabled outside the i686 lane: while it is enabled, every new
# 64-bit Wine prefix on the machine also boots its 32-bit side, which takes
# minutes instead of seconds.
set -euo pipefail

dir=/proc/sys/fs/binfmt_misc
entry=$dir/qemu-i386
qemu=/usr/bin/qemu-i386-static
# The ELF header of a 32-bit little-endian i386 executable or shared object,
# and the mask of the bytes that must match.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

fail() {
  echo "binfmt-i386: $*" >&2
  exit 1
}

mounted() { [ -e "$dir/register" ]; }

status() {
  if [ ! -e "$entry" ]; then
    echo missing
  elif head -n1 "$entry" | grep -qx enabled; then
    echo enabled
  else
    echo disabled
  fi
}

register() {
  [ -x "$qemu" ] || fail "$qemu is missing (Debian package qemu-user-static)"
  if ! mounted; then
    echo "binfmt-i386: mounting binfmt_misc on $dir"
    grep -qw binfmt_misc /proc/filesystems || fail "this kernel has no binfmt_misc, so it cannot hand i386 programs to QEMU"
    mount -t binfmt_misc binfmt_misc "$dir" ||
      fail "cannot mount binfmt_misc on $dir (a container needs the host, or root, to allow it)"
  fi
  if [ ! -e "$entry" ]; then
    echo "binfmt-i386: registering $qemu for i386 programs (disabled until the i686 lane enables it)"
    # F: the kernel opens QEMU now, so it is found from any mount namespace.
    printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:FOC" >"$dir/register" ||
      fail "the kernel refused the qemu-i386 registration"
    echo 0 >"$entry"
  elif ! grep -qx "interpreter $qemu" "$entry"; then
    fail "a qemu-i386 handler with another interpreter is registered: $(grep interpreter "$entry")"
  fi
}

# Many kernels run i386 programs themselves (IA32 emulation); then QEMU is
# not needed, and 32-bit Wine runs a hundred times faster without it.
probe() {
  [ "$(status)" != enabled ] || fail "probe with the handler disabled: it would answer for the kernel"
  local wine32=/usr/lib/wine/wine
  [ -x "$wine32" ] || fail "$wine32 is missing (Debian package wine32:i386; run scripts/install-deps.sh --i686)"
  if timeout 60 "$wine32" --version 2>/dev/null | grep -q '^wine-'; then echo native; else echo qemu; fi
}

set_state() {
  mounted && [ -e "$entry" ] || fail "no qemu-i386 handler; run scripts/install-deps.sh --i686"
  echo "$1" >"$entry" || fail "cannot write $entry (root is needed)"
}

case "${1:-}" in
register) register ;;
enable) set_state 1 ;;
disable) set_state 0 ;;
status) status ;;
probe) probe ;;
*)
  echo "usage: binfmt-i386.sh register|enable|disable|status|probe" >&2
  exit 2
  ;;
esac
