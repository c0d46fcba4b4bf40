#!/bin/sh
# Reads a built Windows deliverable itself: it is a PE file for its machine
# (PE32 for i386, PE32+ for x86-64) and imports from nothing but the DLLs that
# ship with Windows (the C and C++ run-times and zlib are linked in).
#
# usage: check_windows_binary.sh win32|win64 OBJDUMP FILE
# Exits 77 (skipped) when FILE has not been built or OBJDUMP is missing.
kind="$1"
tool="$2"
file="$3"

if [ ! -f "$file" ]; then
  echo "skipped: $file has not been built (build its preset first)"
  exit 77
fi
if ! command -v "$tool" >/dev/null 2>&1; then
  echo "skipped: $tool is not installed"
  exit 77
fi

case "$kind" in
  win32) format=pei-i386; magic=PE32 ;;
  win64) format=pei-x86-64; magic=PE32+ ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac

status=0
fail() {
  echo "FAILED: $file: $*"
  status=1
}

header=$("$tool" -f "$file") || { echo "FAILED: $tool -f $file"; exit 1; }
private=$("$tool" -p "$file") || { echo "FAILED: $tool -p $file"; exit 1; }
echo "$header" | grep -q "file format $format\$" || fail "not $format"
echo "$private" | grep -q "^Magic.*($magic)" || fail "not $magic"

imports=$(echo "$private" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no imports found"
for name in $imports; do
  case $(echo "$name" | tr 'A-Z' 'a-z') in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|\
    msvcrt.dll|ntdll.dll|comctl32.dll|comdlg32.dll|shlwapi.dll|version.dll|ws2_32.dll) ;;
    *) fail "imports from $name, which is not part of Windows" ;;
  esac
done

[ $status -eq 0 ] && echo "$file: $format, imports:" $imports
exit $status
