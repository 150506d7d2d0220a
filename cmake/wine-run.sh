#!/bin/sh
# wine-run.sh PREFIX LOADER PROGRAM [ARGS...]: runs a Windows program under Wine in the Wine prefix
# PREFIX (made by cmake/LymWindows.cmake), with LOADER (/usr/lib/wine/wine or wine64). The exit
# status is the program's.
#
# Wine's first program in a prefix starts the Wine server and Wine's own background programs, which
# keep the output pipes they inherited open until the server ends: whoever reads the output (CTest,
# a shell pipe) would wait for them. So the server and those programs are started here, detached
# from our output, and the server stays a minute after its last program so that the next run starts
# at once.
set -e
prefix=$1 loader=$2
shift 2
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer
# Wine maps file names and arguments through the locale's character set: UTF-8, whatever the
# caller's locale, so that names beyond ASCII reach the program as they are on the disk.
export LC_ALL=C.UTF-8
server="$(dirname "$loader")/wineserver"
"$server" -p60 </dev/null >/dev/null 2>&1 || true      # does nothing when a server runs
"$loader" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
exec "$loader" "$@"
