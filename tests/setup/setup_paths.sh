#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for apt-get, dpkg, dpkg-query, id and sudo: no network, no
# root, nothing on the machine changed. Each case gives the mirror's and the kernel's answers and
# checks the path setup takes and what it asked apt for.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"

# State: $FAKE/installed (one package a line), $FAKE/arches, $FAKE/calls (every call, one a line).
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/calls"
if [ "$1" = update ]; then
  [ "${FAKE_UPDATE_RC:-0}" = 0 ] && exit 0
  echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit "$FAKE_UPDATE_RC"
fi
shift
pkgs=()
for a in "$@"; do [ "${a:0:1}" = - ] || pkgs+=("$a"); done
for p in "${pkgs[@]}"; do
  if [[ " ${FAKE_FAIL:-} " == *" $p "* ]]; then
    echo "Some packages could not be installed."
    echo "The following packages have unmet dependencies:"
    echo " $p : Depends: libgstreamer-plugins-base1.0-0 (= 1.22.0-3+deb12u6) but 1.22.0-3+deb12u7 is to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\n' "${pkgs[@]}" >>"$FAKE/installed"
# The 32-bit Wine brings its loader, which runs where the kernel runs 32-bit programs.
if [[ " ${pkgs[*]} " == *" wine32:i386 "* ]]; then
  printf '#!/bin/sh\n[ "$KQ2_KERNEL_32BIT" = yes ]\n' >"$KQ2_WINE32_LOADER" && chmod 755 "$KQ2_WINE32_LOADER"
fi
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$FAKE/calls"
case "$1" in
--print-foreign-architectures) cat "$FAKE/arches" 2>/dev/null ;;
--add-architecture) echo "$2" >>"$FAKE/arches" ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qx -- "${@: -1}" "$FAKE/installed" 2>/dev/null && printf 'install ok installed'
EOF
printf '#!/bin/sh\necho 1000\n' >"$work/bin/id"
# sudo runs only the stand-ins; whatever else setup does as root (policy-rc.d, services) is noted.
cat >"$work/bin/sudo" <<'EOF'
#!/usr/bin/env bash
case "$1" in
apt-get | dpkg) exec "$@" ;;
*) echo "sudo $*" >>"$FAKE/calls" && cat >/dev/null ;;
esac
EOF
chmod 755 "$work/bin"/*

failed=0
fail() {
  echo "setup paths, $case: $*"
  sed 's/^/  | /' "$FAKE/out"
  failed=1
}
# run CASE [VAR=VALUE...]: setup in a fresh state, its output in $FAKE/out and its status in $status.
run() {
  case=$1
  shift
  export FAKE=$work/$case
  mkdir -p "$FAKE" && : >"$FAKE/calls"
  env -u KQ2_WINE_BITS PATH="$work/bin:$PATH" BUILD_DIR="$FAKE/build" KQ2_WINE32_LOADER="$FAKE/wine" \
    "$@" bash "$root/scripts/setup.sh" >"$FAKE/out" 2>&1 </dev/null
  status=$?
}
asked() { grep -q -- "$1" "$FAKE/calls"; }

run "broken index" FAKE_UPDATE_RC=100 KQ2_KERNEL_32BIT=yes
[ "$status" = 0 ] || fail "exit $status"
grep -q '^setup: apt-get update failed (E: Failed to fetch .*Mirror sync' "$FAKE/out" || fail "no warning for the update"
asked 'dpkg --add-architecture i386' && asked 'install .* wine32:i386' || fail "the 32-bit part was not asked for"
asked 'install .*wine64' && fail "wine64 asked for on the 32-bit path"

run "i386 part fails" KQ2_KERNEL_32BIT=yes FAKE_FAIL=wine32:i386
[ "$status" = 0 ] || fail "exit $status"
grep -q '^setup: wine32:i386 could not be installed (wine32:i386 : Depends: libgstreamer.*): the Windows tests take wine64' \
  "$FAKE/out" || fail "no line for the fallback"
asked 'install .*wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64' || fail "the 64-bit path was not installed"
# The other scripts go down the 64-bit path by themselves, and say why.
why=$(BUILD_DIR="$FAKE/build" KQ2_WINE32_LOADER="$FAKE/wine" KQ2_KERNEL_32BIT=yes bash -c '. "$1/scripts/wine-bits.sh" && kq2_choose_wine &&
  echo "$KQ2_BITS $KQ2_NOT_RUN"' - "$root")
[[ "$why" == "64 wine32:i386 is not installed: wine32:i386 : Depends: libgstreamer"* ]] || fail "the scripts say '$why'"

run "kernel says no" KQ2_KERNEL_32BIT=no
[ "$status" = 0 ] || fail "exit $status"
grep -q 'cannot run 32-bit programs: the Windows tests take wine64' "$FAKE/out" || fail "the path is not said"
asked 'install .*wine64' || fail "wine64 not asked for"
asked 'add-architecture' && fail "i386 added"
grep '^apt-get' "$FAKE/calls" | grep -q ':i386' && fail "an i386 package asked for"

run "a required package fails" KQ2_KERNEL_32BIT=no FAKE_FAIL=wixl
[ "$status" != 0 ] || fail "exit 0"
grep -q '^setup: cannot install wixl; apt-get said:' "$FAKE/out" || fail "wixl is not named"
grep -q 'held broken packages' "$FAKE/out" || fail "apt's own error is not shown"

# The kernel's own answer, where nothing overrides it, agrees with the 32-bit loader's.
if [ -x /usr/lib/wine/wine ]; then
  kernel=no loader=no
  bash -c '. "$1/scripts/wine-bits.sh" && kq2_kernel_runs_32bit "$2"' - "$root" "$work/probe" && kernel=yes
  /usr/lib/wine/wine --version >/dev/null 2>&1 && loader=yes
  [ "$kernel" = "$loader" ] || { case=probe && fail "the probe says $kernel, the 32-bit loader $loader"; }
fi
exit "$failed"
