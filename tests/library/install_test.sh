#!/usr/bin/env bash
# The library as its users get it: installed into a fresh prefix with cmake --install, then used
# through pkg-config (the C test program linked with the shared and with the static library, the
# README's example built and run as the README shows it) and through find_package(Lym). The
# installed library must also write byte for byte what the lym tool writes.
#   install_test.sh CMAKE BUILD_FOLDER SOURCE_FOLDER LYM DEMO_WAVE
set -uo pipefail
cmake=$1
build=$(realpath "$2")
source=$(realpath "$3")
lym=$(realpath "$4")
demo=$(realpath "$5")
tests=$source/tests/library
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
exists() { [ -f "$1" ] || fail "${1#"$work"/} missing"; }

if ! command -v pkg-config >/dev/null; then
  echo "pkg-config is missing (scripts/setup.sh installs it): skipped"
  exit 77
fi

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >install.log 2>&1 ||
  { cat install.log >&2; fail "cmake --install failed"; exit 1; }

# --- the installed tree; GNUInstallDirs chooses the library folder (lib, lib64, lib/TRIPLET)
shared=$(find "$prefix" -name liblym.so.1 -print -quit)
[ -n "$shared" ] || { fail "liblym.so.1 not installed"; exit 1; }
libdir=$(dirname "$shared")
for file in bin/lym share/man/man1/lym.1 include/lym/lym.h; do exists "$prefix/$file"; done
for file in liblym.a pkgconfig/lym.pc cmake/Lym/LymConfig.cmake; do exists "$libdir/$file"; done

# --- pkg-config finds the moved tree
export PKG_CONFIG_PATH=$libdir/pkgconfig
major_minor_patch=$(sed -n 's/^#define LYM_VERSION_[A-Z]* \([0-9]*\)/\1/p' "$prefix/include/lym/lym.h" |
                    paste -sd.)
[ "$(pkg-config --modversion lym)" = "$major_minor_patch" ] ||
  fail "pkg-config --modversion lym: '$(pkg-config --modversion lym)', expected $major_minor_patch"
[ "$(realpath "$(pkg-config --variable=includedir lym)")" = "$(realpath "$prefix/include")" ] ||
  fail "lym.pc's includedir $(pkg-config --variable=includedir lym) is not in $prefix"

strict=(cc -std=c99 -Wall -Wextra -Werror -pedantic)
# shellcheck disable=SC2046  # pkg-config's flags are words
"${strict[@]}" -pthread -o api_test "$tests/lym_api_test.c" $(pkg-config --cflags --libs lym) ||
  fail "lym_api_test.c does not build with pkg-config"
static_libs=$(pkg-config --static --libs lym)
# shellcheck disable=SC2046,SC2086
"${strict[@]}" -pthread -o api_test_static "$tests/lym_api_test.c" $(pkg-config --cflags lym) \
  ${static_libs/-llym/-l:liblym.a} || fail "lym_api_test.c does not link liblym.a"
if objdump -p api_test_static | grep -q 'NEEDED.*liblym'; then
  fail "the static build loads liblym.so"
fi

mkdir scratch
LD_LIBRARY_PATH=$libdir ./api_test scratch || fail "lym_api_test with the installed liblym.so"
./api_test_static scratch || fail "lym_api_test linked with the installed liblym.a"

# --- the same bytes as the lym tool, from WAVE files with a trailer and with an odd data size
# le32 N: N as four little-endian bytes.
le32() {
  local shift
  for shift in 0 8 16 24; do printf '%b' "\\x$(printf %02x $(($1 >> shift & 255)))"; done
}
"$demo" tagged.wav 1.5 16 2 44100 || exit 1
{ printf 'LIST'; le32 12; printf 'INFOISFT'; le32 0; } >>tagged.wav
le32 $(($(stat -c %s tagged.wav) - 8)) | dd of=tagged.wav bs=1 seek=4 conv=notrunc status=none
"$demo" odd.wav 1.00005 8 1 22050 || exit 1
for case in "tagged -p1" "odd -p3e"; do
  read -r name preset <<<"$case"
  "$lym" -q "$preset" "$name.wav" || fail "lym $preset $name.wav failed"
  LD_LIBRARY_PATH=$libdir ./api_test scratch "$name.wav" "$name.lym" ||
    fail "lym_api_test with $name.wav and the file of lym $preset"
done

# --- the README's example, as it stands there
readme_section() {
  awk '/^## / { section = ($0 == "## Using the library") } section' "$source/README.md"
}
readme_section | awk '/^```c$/ { inside = 1; next } inside && /^```$/ { exit } inside' >readme.c
cmp -s readme.c "$tests/lym_to_raw.c" || fail "the README's program differs from tests/library/lym_to_raw.c"
cp "$tests/lym_to_raw.c" .
build_line=$(readme_section | grep -m1 '^cc .*lym_to_raw')
[ -n "$build_line" ] || fail "the README shows no cc command for lym_to_raw"
eval "$build_line" || fail "the README's command failed: $build_line"
run_line=$(readme_section | grep -m1 '^\./lym_to_raw ')
[ -n "$run_line" ] || fail "the README shows no run of lym_to_raw"
cp tagged.lym song.lym
LD_LIBRARY_PATH=$libdir eval "$run_line" || fail "the README's run failed: $run_line"
# data_chunk WAVE: the samples of a WAVE file of demo_wave (its data chunk begins at byte 36).
data_chunk() { tail -c +45 "$1" | head -c "$(od -An -tu4 -j40 -N4 "$1" | tr -d ' ')"; }
"$lym" -q -d -o restored.wav song.lym || fail "lym -d song.lym failed"
cmp -s song.raw <(data_chunk restored.wav) || fail "lym_to_raw's output is not the samples of lym -d"
cmp -s song.raw <(data_chunk tagged.wav) || fail "lym_to_raw's output is not the original samples"

# Damage: every sample still comes (muted), a message, status 1.
cp song.lym broken.lym
dd if=/dev/zero of=broken.lym bs=1 seek=$(($(stat -c %s broken.lym) / 2)) count=2000 \
   conv=notrunc status=none
LD_LIBRARY_PATH=$libdir ./lym_to_raw broken.lym >broken.raw 2>err.txt
[ $? -eq 1 ] || fail "lym_to_raw on a damaged file: status not 1"
grep -q "damaged" err.txt || fail "lym_to_raw on a damaged file says: $(cat err.txt)"
[ "$(stat -c %s broken.raw)" -eq "$(stat -c %s song.raw)" ] || fail "a damaged file's length changed"
LD_LIBRARY_PATH=$libdir ./lym_to_raw missing.lym >/dev/null 2>err.txt
[ $? -eq 1 ] || fail "lym_to_raw on a missing file: status not 1"
grep -q "missing.lym" err.txt || fail "lym_to_raw on a missing file says: $(cat err.txt)"
LD_LIBRARY_PATH=$libdir ./lym_to_raw >/dev/null 2>&1
[ $? -eq 2 ] || fail "lym_to_raw without arguments: status not 2"

# --- find_package(Lym) in a project of its own
if "$cmake" -S "$tests/find_package" -B user -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
     -DCMAKE_BUILD_TYPE=Release >user.log 2>&1 &&
   "$cmake" --build user >>user.log 2>&1; then
  user/lym_user_shared || fail "the find_package program with Lym::lym"
  user/lym_user_static || fail "the find_package program with Lym::lym_static"
else
  cat user.log >&2
  fail "the find_package project does not build"
fi

# --- the GStreamer plug-in, where the build made one: GStreamer's folder under the prefix, and
# the MIME type that tells desktops which files it plays
if [ -f "$build/gst/libgstlym.so" ]; then
  exists "$libdir/gstreamer-1.0/libgstlym.so"
  exists "$prefix/share/mime/packages/lym.xml"
  GST_REGISTRY=$work/registry.bin GST_PLUGIN_PATH=$libdir/gstreamer-1.0 \
    gst-inspect-1.0 lymdec >/dev/null 2>&1 || fail "the installed plug-in does not load"
  /usr/bin/python3 - "$prefix/share/mime/packages/lym.xml" <<'PY' || fail "lym.xml is wrong"
import sys, xml.etree.ElementTree as tree
ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
kind = tree.parse(sys.argv[1]).getroot().find("m:mime-type", ns)
assert kind.get("type") == "audio/x-lym"
assert kind.find("m:glob", ns).get("pattern") == "*.lym"
match = kind.find("m:magic/m:match", ns)
assert (match.get("type"), match.get("offset"), match.get("value")) == ("string", "0", "wQyZ")
PY
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "installed library: pkg-config, static and shared, the README's example and find_package work"
