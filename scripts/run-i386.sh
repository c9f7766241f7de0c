#!/bin/sh
# Runs a 32-bit x86 Linux program: directly where the kernel runs such programs, else under
# qemu-i386 (user-mode emulation) with this machine's own i386 libraries. ctest's emulator
# for the i686 build (cmake/linux-i686.cmake). QUORVEL_I386_UNDER_QEMU=1 takes qemu-i386
# anyway, to try that way on a machine that would not need it.
# The probe is the i386 dynamic loader itself, which every :i386 library package brings.
if [ "${QUORVEL_I386_UNDER_QEMU:-}" != 1 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  exec "$@"
fi
exec qemu-i386 -L / "$@"
