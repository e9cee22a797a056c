#!/usr/bin/env bash
# clang-tidy and cppcheck over the product code, the calling conventions of the Windows code, and
# the docs' links and the README's length; any finding fails. Needs the compile databases that
# scripts/test.sh exports in BUILD_DIR/native and BUILD_DIR/windows.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build_dir=${BUILD_DIR:-build}
status=0
for tool in clang-tidy cppcheck i686-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || { echo "static checks: $tool is missing"; exit 1; }
done
for db in "$build_dir/native" "$build_dir/windows"; do
  [ -f "$db/compile_commands.json" ] || { echo "static checks: no $db/compile_commands.json"; exit 1; }
done

# The OS-free code as the native tree compiles it.
portable=$(ls platform/*.cpp supervisor/*.cpp watch/*.cpp monitor/*.cpp)
# The Win32 code and the tools as the cross compiler sees them.
win32=$(ls platform/win32/*.cpp tools/*.cpp)

# clang cannot ask the cross compiler for its C++ headers: name them.
mingw_args=(--extra-arg=--target=i686-w64-mingw32)
while read -r dir; do
  mingw_args+=("--extra-arg=-isystem$dir")
done < <(echo | i686-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 |
  sed -n '/#include <...> search starts here/,/End of search list/p' | grep '^ /')

run_tidy() {
  local out
  out=$(clang-tidy --quiet "$@" 2>&1 | grep -E '(warning|error):')
  if [ -n "$out" ]; then
    echo "$out"
    status=1
  fi
}
# shellcheck disable=SC2086
run_tidy -p "$build_dir/native" $portable
# shellcheck disable=SC2086
run_tidy -p "$build_dir/windows" "${mingw_args[@]}" $win32

# shellcheck disable=SC2086
if ! cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ --inline-suppr \
  --enable=warning,style,performance,portability --suppress=missingIncludeSystem \
  --suppress=unusedFunction -D_WIN32 -I . $portable $win32; then
  status=1
fi

# Calling conventions in the Windows code. On x86_64 there is one, so a function-pointer type or a
# callback without WINAPI (CALLBACK, APIENTRY, __stdcall) works there, and on i686 corrupts the
# stack at every call: the x86_64 tests cannot see it. The i686 compiler refuses a plain callback
# handed to the API, but not a cast, nor a pointer from GetProcAddress. With no arguments the two
# conventions agree, so an empty parameter list (the void (*)() cast-through type) is allowed.
win_code=(platform/win32 tools tests/windows bench/windows)
pointer='\(\s*\*\s*[A-Za-z_0-9]*\s*\)\s*\('
no_arguments='\(\s*\*\s*[A-Za-z_0-9]*\s*\)\s*\(\s*(void\s*)?\)'
callback_cast='(_cast\s*<|\(\s*)(LP|P)?[A-Z_]*(PROC|ROUTINE)\s*[>)]'
conventions=$( (grep -rnE --include='*.cpp' --include='*.h' "$pointer" "${win_code[@]}" |
  grep -vE "$no_arguments"
  grep -rnE --include='*.cpp' --include='*.h' "$callback_cast" "${win_code[@]}") | sort -u)
if [ -n "$conventions" ]; then
  echo "static checks: a function type without WINAPI, or a cast that hides one:"
  echo "$conventions"
  status=1
fi

# The docs: every relative link names a file that exists (a page moved or renamed leaves its
# readers at a dead end), and the README stays a landing page.
readme_limit=150
dead_links=$(for doc in README.md docs/*.md; do
  grep -oE '\]\([^)#[:space:]]+' "$doc" | cut -c3- | grep -vE '^[a-z]+:' |
    while read -r target; do
      [ -e "$(dirname "$doc")/$target" ] || echo "$doc: $target"
    done
done)
if [ -n "$dead_links" ]; then
  echo "static checks: links to files that do not exist:"
  echo "$dead_links"
  status=1
fi
if [ "$(wc -l <README.md)" -gt "$readme_limit" ]; then
  echo "static checks: README.md has $(wc -l <README.md) lines, more than $readme_limit"
  status=1
fi

if [ "$status" -eq 0 ]; then
  echo "static checks: clean"
fi
exit "$status"
