# Sourced by every script that runs Windows programs: which Wine this machine takes, and the one
# way to call it. Wine is called by its loader, named here, never through Debian's wine, winepath
# or wineboot scripts: they pick the 32-bit loader whenever its file exists, even on a kernel that
# cannot run it (no IA32 emulation, ia32_emulation=0, some hypervisors, WSL 1).
#
# KQ2_WINE_BITS=64 takes the 64-bit path (the x86_64 build under wine64) on any machine, and 32 the
# 32-bit one; unset, the 32-bit path is taken where the 32-bit loader runs.

kq2_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The build folder: BUILD_DIR, as test.sh takes it (relative to the checkout), else build/.
kq2_build=${BUILD_DIR:-build}
[ "${kq2_build:0:1}" = / ] || kq2_build=$kq2_root/$kq2_build
kq2_wine32_loader=${KQ2_WINE32_LOADER:-/usr/lib/wine/wine}
kq2_wine64_loader=/usr/lib/wine/wine64

# Whether this machine runs 32-bit programs, asked of the 32-bit loader itself each time: the
# architecture list names i386 on machines that cannot.
kq2_runs_32bit() {
  [ -x "$kq2_wine32_loader" ] && "$kq2_wine32_loader" --version >/dev/null 2>&1
}

# Whether the kernel runs 32-bit Linux programs, asked before any 32-bit package is installed:
# writes an i386 ELF of 91 bytes under DIR that only exits 0 through int 0x80, and runs it. Only
# "Exec format error" means no; any other failure (a folder mounted noexec says "Permission
# denied") says nothing about the kernel, so it counts as yes. KQ2_KERNEL_32BIT=yes or no answers
# instead, for the tests of setup.
kq2_kernel_runs_32bit() {
  case "${KQ2_KERNEL_32BIT:-}" in
  yes) return 0 ;;
  no) return 1 ;;
  esac
  local probe=$1/probe-i386 said
  mkdir -p "$1" || return 0
  # ELF header, one loadable segment at 0x08048000, then: xor ebx,ebx; xor eax,eax; inc eax; int 0x80.
  printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0''\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0''\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5b\0\0\0\x5b\0\0\0\x05\0\0\0\0\x10\0\0''\x31\xdb\x31\xc0\x40\xcd\x80' >"$probe" &&
    chmod 755 "$probe" || return 0
  said=$(LC_ALL=C "$probe" 2>&1) && return 0
  ! grep -q 'Exec format error' <<<"$said"
}

# Why the i686 programs cannot run here, where the 32-bit loader does not: the kernel cannot run
# them, or else the 32-bit Wine is not installed, with the reason setup left in the build folder
# when it tried.
kq2_why_not_32bit() {
  if [ -e "$kq2_wine32_loader" ] || ! kq2_kernel_runs_32bit "$kq2_build"; then
    echo "this machine cannot run 32-bit programs"
  elif [ -s "$kq2_build/wine32.txt" ]; then
    echo "wine32:i386 is not installed: $(head -n 1 "$kq2_build/wine32.txt")"
  else
    echo "the 32-bit Wine, wine32:i386, is not installed"
  fi
}

# Sets KQ2_BITS (32 or 64), KQ2_WINE (the loader), KQ2_TREE (the Windows build tree's name under
# the build folder), KQ2_TOOLCHAIN and KQ2_NOT_RUN: why the i686 programs are not run, empty where
# they are. WINEPREFIX, where not set, is the tree's own: one prefix per bitness.
kq2_choose_wine() {
  KQ2_NOT_RUN=
  case "${KQ2_WINE_BITS:-}" in
  64) KQ2_BITS=64 KQ2_NOT_RUN="KQ2_WINE_BITS=64" ;;
  32) KQ2_BITS=32 ;;
  "")
    if kq2_runs_32bit; then
      KQ2_BITS=32
    else
      KQ2_BITS=64 KQ2_NOT_RUN=$(kq2_why_not_32bit)
    fi
    ;;
  *)
    echo "KQ2_WINE_BITS is '$KQ2_WINE_BITS'; it takes 32 or 64" >&2
    return 1
    ;;
  esac
  if [ "$KQ2_BITS" = 64 ]; then
    KQ2_WINE=$kq2_wine64_loader KQ2_TREE=windows64 KQ2_TOOLCHAIN=cmake/mingw-x86_64.cmake
  else
    KQ2_WINE=$kq2_wine32_loader KQ2_TREE=windows KQ2_TOOLCHAIN=cmake/mingw-i686.cmake
  fi
  # Programs that Wine starts from Windows programs take the same loader.
  export WINELOADER=$KQ2_WINE
  export WINEPREFIX=${WINEPREFIX:-$kq2_root/build/$KQ2_TREE/wineprefix}
}

# The machine field of a Windows program's PE header, four hex digits: 014c (i386) or 8664 (x86-64).
kq2_pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || return 1
  od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

# i686 or x86_64, as the PE header of a Windows program names its machine.
kq2_pe_arch() {
  case "$(kq2_pe_machine "$1")" in
  014c) echo i686 ;;
  8664) echo x86_64 ;;
  *) echo unknown ;;
  esac
}

# Fails, saying why, unless every Windows program FILE... is of this path's bits: wine64 would
# start a leftover 32-bit program on a machine that can run one, and hide the mistake.
kq2_check_bits() {
  local want file status=0
  [ "$KQ2_BITS" = 64 ] && want=8664 || want=014c
  for file in "$@"; do
    if [ "$(kq2_pe_machine "$file")" != "$want" ]; then
      echo "wine: $file is not a $KQ2_BITS-bit Windows program" >&2
      status=1
    fi
  done
  return "$status"
}

# kq2_wine PROGRAM [ARGUMENT...]: runs a Windows program under this path's loader. A program given
# as a file is checked for its bits first; any other name (cmd, wineboot.exe) is one of Wine's own.
kq2_wine() {
  if [ -f "$1" ]; then
    kq2_check_bits "$1" || return 126
  fi
  "$KQ2_WINE" "$@"
}

# Makes WINEPREFIX a prefix of this path's bits once (wine64 refuses a 32-bit one).
kq2_wine_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] || "$KQ2_WINE" wineboot.exe -i >/dev/null 2>&1
}

# Keeps WINEPREFIX's server running until "wineserver -k". Debian's wineserver script, which Wine
# starts, ends the server as soon as its last program ends (-p0), and a program started just then
# can die before its first line: a suite of many short programs is better served by one server.
kq2_hold_wineserver() {
  local server=/usr/lib/wine/wineserver64
  [ -x "$server" ] || server=/usr/lib/wine/wineserver32
  "$server" -k >/dev/null 2>&1
  "$server" -w >/dev/null 2>&1
  "$server" -p >/dev/null 2>&1 || true
  # The prefix's own processes (services.exe, rpcss.exe, explorer.exe ...) start with its first
  # program and live as long as the server, keeping every file that program had open. Started
  # by a test under ctest, they held that test's output pipe, and ctest waited on it until the
  # test's time-out: start them here, holding nothing of a test's.
  "$KQ2_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# The Windows name of a Linux path.
kq2_winepath() {
  "$KQ2_WINE" winepath.exe -w "$1" 2>/dev/null | tr -d '\r'
}
