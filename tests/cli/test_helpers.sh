# shellcheck shell=bash disable=SC2154  # lym and runner: set by the sourcing script
# The command-line tests' common ground, sourced once lym (the tool, an absolute path) and runner
# (an array: the command that runs the programs, empty when they run as they are) are set. Makes a
# work folder that goes away at the end and changes into it; every failed check is counted and
# reported, and finish ends the script with the outcome.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# run EXPECTED_STATUS ARGS...: runs lym, keeps stdout in out.txt and stderr in err.txt.
run() {
  local want=$1; shift
  "${runner[@]}" "$lym" "$@" >out.txt 2>err.txt
  local got=$?
  if [ ${#runner[@]} -gt 0 ]; then sed -i 's/\r$//' out.txt err.txt; fi
  [ "$got" -eq "$want" ] || fail "lym $* exited $got, expected $want; stderr: $(head -c 300 err.txt)"
}
contains() { grep -qF -- "$2" "$1" || fail "$1 lacks '$2': $(head -c 400 "$1")"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "$1 has '$2'"; }
exists() { [ -f "$1" ] || fail "$1 missing"; }
absent() { [ ! -e "$1" ] || fail "$1 should not exist"; }
same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }
# damage FILE: zeros 200 bytes in the middle of a .lym file, which destroys a frame or two.
damage() {
  dd if=/dev/zero of="$1" bs=1 seek=$(($(stat -c %s "$1") / 2)) count=200 conv=notrunc status=none
}

# finish MESSAGE: ends the script, failing when any check failed, else saying MESSAGE.
finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
  fi
  echo "$1"
}
