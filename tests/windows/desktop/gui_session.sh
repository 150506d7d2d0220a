#!/bin/sh
# gui_session.sh WINE_RUN PREFIX LOADER PROGRAM [ARGS...]: runs a Windows program through WINE_RUN
# (cmake/wine-run.sh) in the X server of the caller (xvfb-run), in a Wine server session of its
# own. Wine's background programs - the server, and explorer.exe, which owns the desktop and its
# display connection - may still run from tests that had no display; they would serve this program
# without one. And the ones started here would outlive this X server. So the session starts and
# ends with no server running. The exit status is the program's.
set -u
wine_run=$1 prefix=$2 loader=$3
shift 3
server="$(dirname "$loader")/wineserver"
end_session() {
  WINEPREFIX="$prefix" "$server" -k >/dev/null 2>&1
  WINEPREFIX="$prefix" "$server" -w >/dev/null 2>&1
}
end_session
# The windows drawn with the fonts they are laid out for (see fonts.conf).
FONTCONFIG_FILE="$(dirname "$0")/fonts.conf" sh "$wine_run" "$prefix" "$loader" "$@"
status=$?
end_session
exit $status
