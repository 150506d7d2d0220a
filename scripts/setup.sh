#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any packages named as arguments
# (the benchmark adds its peers), but only those that are missing. Needs root (apt-get) when
# something is missing; does nothing otherwise.
set -euo pipefail

# --windows adds the cross compilers and Wine (the test command needs them; the main job does not).
windows=false
if [ "${1:-}" = "--windows" ]; then windows=true; shift; fi

packages=(
  cmake ninja-build g++             # the normal build
  clang libclang-rt-14-dev          # fuzz targets (libFuzzer) and their sanitizer runtimes
  libgtest-dev                      # unit tests (also the GoogleTest sources the Windows builds compile)
  python3                           # the check of the layers' includes
  pkg-config                        # the library's tests build against it as users do
  nlohmann-json3-dev                # the JSON of lym --info=json (header-only; the Windows builds too)
  python3-mutagen                   # an independent APEv2 implementation for the tag tests
  sox                               # WAVE streams from a pipe, as users make them, for the pipe tests
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev  # the GStreamer plug-in
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good  # its tests: gst-launch,
  gstreamer1.0-plugins-base-apps python3-gi gir1.2-gstreamer-1.0        # decodebin, discoverer
  "$@"
)
# The Windows builds and the programs' runs under Wine, installed without the recommended packages
# (desktop fonts, sound and graphics libraries that console programs do not need).
windows_packages=(
  g++-mingw-w64-i686-posix          # posix thread model: std::thread and std::mutex work
  g++-mingw-w64-x86-64-posix
  wine wine32:i386 wine64
  xvfb xauth                        # a display for the Windows desktop program's tests
  fonts-wine                        # the fonts Windows dialogs are laid out for (Tahoma, ...)
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=() windows_missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
need_i386=false
if $windows; then
  for p in "${windows_packages[@]}"; do
    installed "$p" || windows_missing+=("$p")
  done
  # wine32 is an i386 package: dpkg must know that architecture before apt-get can find it.
  dpkg --print-foreign-architectures | grep -qx i386 || need_i386=true
fi
[ ${#missing[@]} -eq 0 ] && [ ${#windows_missing[@]} -eq 0 ] && ! $need_i386 && exit 0

echo "setup: installing ${missing[*]} ${windows_missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: run as root (apt-get) or install: ${missing[*]} ${windows_missing[*]}" >&2
  exit 1
fi
if $need_i386; then
  echo "setup: adding the i386 architecture"
  dpkg --add-architecture i386
fi
apt-get update -qq
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ ${#windows_missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${windows_missing[@]}" >/dev/null
fi
