#!/bin/sh
# Reads a built builder library itself and checks what it exports: exactly
# the three natives, under the names the Java runtime of its platform looks
# up. The Windows DLLs must also be DLLs of the runtime's machine that import
# from nothing but Windows' own DLLs (check_windows_binary.sh).
#
# usage: check_exports.sh win32|win64|linux TOOL FILE
#   TOOL is the target's objdump for win32 and win64, nm for linux.
# Exits 77 (skipped) when FILE has not been built or TOOL is missing.
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

status=0
fail() {
  echo "FAILED: $*"
  status=1
}

class=Java_com_halvory_mirelant_dx_launch_ExeArchiver
case "$kind" in
  win32)
    # Standard-call names with their leading underscore and argument bytes.
    expected="_${class}_addFile@16
_${class}_addFolder@12
_${class}_createArchive@16"
    ;;
  win64|linux)
    expected="${class}_addFile
${class}_addFolder
${class}_createArchive"
    ;;
  *)
    echo "unknown kind $kind"
    exit 2
    ;;
esac

if [ "$kind" = linux ]; then
  # Every symbol the library defines for others to use.
  names=$("$tool" -D --defined-only "$file" | awk '{ print $NF }' | sort) ||
    { echo "FAILED: $tool -D $file"; exit 1; }
  [ "$names" = "$expected" ] || fail "defined dynamic symbols:
$names"
else
  # Machine, format and imports are those of every Windows deliverable.
  sh "$(dirname "$0")/../check_windows_binary.sh" "$kind" "$tool" "$file" || status=1
  private=$("$tool" -p "$file") || { echo "FAILED: $tool -p $file"; exit 1; }
  echo "$private" | sed -n '/^Characteristics/,/^$/p' | grep -qx '[[:space:]]*DLL' ||
    fail "not a DLL"

  names=$(echo "$private" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
  [ "$names" = "$expected" ] || fail "exported names:
$names"
  # An export by ordinal alone has no name: count the address table too.
  addresses=$(echo "$private" |
              sed -n 's/^[[:space:]]*Export Address Table[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' |
              head -n 1)
  [ "$addresses" = "00000003" ] || fail "the export address table holds $addresses entries"
fi

if [ $status -eq 0 ]; then
  echo "$file exports:"
  echo "$names"
fi
exit $status
