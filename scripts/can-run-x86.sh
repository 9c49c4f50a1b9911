#!/bin/bash
# Exits 0 when this machine executes 32-bit x86 code, 1 when it does not.
# It runs a tiny 32-bit Linux program of its own (an ELF header, one program
# header and three instructions: exit(42)) instead of guessing from the
# kernel version: a kernel can be built without 32-bit support, or a
# container can forbid it. QR_NO_X86=1 answers "no" without asking, so
# that the test command's path for such machines can be tried here.
set -u
[ "${QR_NO_X86:-}" = 1 ] && exit 1
# In the build tree, since /tmp may forbid running programs.
dir="$(cd "$(dirname "$0")/.." && pwd)/build"
mkdir -p "$dir" && probe="$(mktemp "$dir/x86-probe.XXXXXX")" || exit 1
trap 'rm -f "$probe"' EXIT
# ELF32 header: class 1, little endian, executable, machine 3 (i386), entry
# 0x08048054; one loadable segment of the file's 96 bytes at 0x08048000;
# then  mov eax,1 / mov ebx,42 / int 0x80.
printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
[ $? = 42 ]
