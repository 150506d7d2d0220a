#!/usr/bin/env bash
# The player finds the plug-in's functions by their plain names: the DLL exports exactly
# winampGetExtendedFileInfo and winampGetInModule2, undecorated (no "_" or "@n" of stdcall), and
# nothing else.
#   plugin_exports_test.sh OBJDUMP DLL
set -uo pipefail
objdump=$1 dll=$2
# The name table follows its heading, one "[ n] name" line each, up to an empty line.
exports=$("$objdump" -p "$dll" |
          sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[\s*[0-9]*\] //p' | sort)
expected=$(printf '%s\n' winampGetExtendedFileInfo winampGetInModule2)
echo "${dll##*/} exports:" $exports
if [ "$exports" != "$expected" ]; then
  echo "FAIL: expected exactly:" $expected >&2
  exit 1
fi
