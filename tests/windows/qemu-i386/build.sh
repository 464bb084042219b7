#!/bin/sh
# Builds the preload library that lets 32-bit Wine run under qemu-user, for a
# kernel without 32-bit emulation (see wine_under_qemu.c), into OUT:
#   OUT/lib/i386-linux-gnu/wine_under_qemu.so    the fixes, for i386 processes
#   OUT/lib/x86_64-linux-gnu/wine_under_qemu.so  empty, so that native processes
#                                                given the same LD_PRELOAD stay quiet
# Use: LD_PRELOAD='OUT/$LIB/wine_under_qemu.so' (a literal $LIB, which ld.so
# expands to lib/i386-linux-gnu or lib/x86_64-linux-gnu).
set -e
src=$(cd "$(dirname "$0")" && pwd)
out=$1/lib
mkdir -p "$out/i386-linux-gnu" "$out/x86_64-linux-gnu"
gcc -m32 -shared -fPIC -O2 -fno-stack-protector -nostdlib \
  -o "$out/i386-linux-gnu/wine_under_qemu.so" "$src/wine_under_qemu.c" /lib/i386-linux-gnu/libc.so.6
echo 'void wine_under_qemu_unused(void) {}' | gcc -shared -fPIC -O2 -x c -o "$out/x86_64-linux-gnu/wine_under_qemu.so" -
