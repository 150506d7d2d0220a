#!/usr/bin/env bash
# The Windows programs run on a bare Windows: they import no DLL but the system's own (the C and
# C++ runtimes and the thread library are linked in).
#   system_dlls_test.sh OBJDUMP PROGRAM...
set -uo pipefail
objdump=$1; shift
system="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll comdlg32.dll comctl32.dll
        ole32.dll oleaut32.dll shlwapi.dll winmm.dll msvcrt.dll uxtheme.dll"
failures=0
for program in "$@"; do
  dlls=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || { echo "FAIL: no imports found in $program" >&2; failures=$((failures + 1)); }
  for dll in $dlls; do
    case " $(echo $system) " in
      *" $dll "*) ;;
      *) echo "FAIL: ${program##*/} imports $dll" >&2; failures=$((failures + 1)) ;;
    esac
  done
  echo "${program##*/}:" $dlls
done
[ "$failures" -eq 0 ] || exit 1
