#!/usr/bin/env bash
# The shared library exports exactly the functions that lym.h declares with LYM_API, and nothing
# else (no C++ symbols of the layers below); on Linux its soname is liblym.so.MAJOR, MAJOR being
# the header's LYM_VERSION_MAJOR.
#   exports_test.sh OBJDUMP NM LYM_H LIBRARY
# LIBRARY is liblym.so.X.Y.Z or lym.dll; NM is needed for the former only.
set -uo pipefail
objdump=$1 nm=$2 header=$3 library=$4
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

declared=$(sed -n 's/^LYM_API .*[ *]\(lym_[a-z0-9_]*\)(.*/\1/p' "$header" | sort)
[ "$(wc -l <<<"$declared")" -ge 30 ] || fail "only $(wc -l <<<"$declared") functions found in $header"

case $library in
  *.dll)
    # The name table follows its heading, one "[ n] name" line each, up to an empty line.
    exported=$("$objdump" -p "$library" |
               sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[\s*[0-9]*\] //p' | sort)
    ;;
  *)
    # Type A: the version node of the version script, not a symbol.
    exported=$("$nm" -D --defined-only "$library" | awk '$2 != "A" { print $3 }' |
               sed 's/@.*//' | sort)
    major=$(sed -n 's/^#define LYM_VERSION_MAJOR \([0-9]*\)/\1/p' "$header")
    soname=$("$objdump" -p "$library" | awk '$1 == "SONAME" { print $2 }')
    [ "$soname" = "liblym.so.$major" ] || fail "soname '$soname', expected liblym.so.$major"
    ;;
esac

missing=$(comm -23 <(echo "$declared") <(echo "$exported"))
extra=$(comm -13 <(echo "$declared") <(echo "$exported"))
[ -z "$missing" ] || fail "declared but not exported: ${missing//$'\n'/ }"
[ -z "$extra" ] || fail "exported but not declared: ${extra//$'\n'/ }"

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "${library##*/} exports the $(wc -l <<<"$declared") functions of lym.h"
