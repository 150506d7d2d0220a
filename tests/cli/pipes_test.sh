#!/usr/bin/env bash
# Standard input and output as users type them: sox into "lym -" into "lym -d -c" into cmp, WAVE
# streams of unknown length, a trailer through two pipes, -t and -i from standard input, a reader
# that goes away and a writer that is cut off half-way, a signal while standard input is spooled,
# and the combinations that cannot work. No scratch file may stay in the temporary folder.
#   pipes_test.sh LYM DEMO_WAVE
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
runner=()
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"
export TMPDIR="$work/scratch"
mkdir "$TMPDIR"

no_leftovers() {
  local left
  left=$(ls -A "$TMPDIR"; find . -name '.lym-*')
  [ -z "$left" ] || fail "$1: left behind: $left"
  rm -rf "${TMPDIR:?}"/* ./.lym-*
}
# wave_stream DATA_SIZE RIFF_SIZE: a 16-bit stereo WAVE stream with those size fields, as writers
# into a pipe leave them, on stdout.
wave_stream() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = bytes((i * 7 + i // 3) & 0xFF for i in range(4 * 30000))
fmt = struct.pack("<HHIIHH", 1, 2, 44100, 44100 * 4, 4, 16)
sys.stdout.buffer.write(b"RIFF" + struct.pack("<I", int(sys.argv[2])) + b"WAVEfmt " +
                        struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", int(sys.argv[1])) +
                        data)
PY
}

"$demo" a.wav 3
"$demo" long.wav 40 16 2 48000
run 0 -q a.wav long.wav

# --- sox into lym into lym into cmp, in every sample format; nothing said about the pipe
for format in "44100 2 16" "22050 1 8" "96000 2 24" "8000 1 16" "48000 1 24"; do
  read -r rate channels bits <<<"$format"
  # cmp reads the copy that tee keeps once it has all of it: lym - reads its input to the end first.
  rm -f ref.wav; touch ref.wav
  sox -D -n -r "$rate" -c "$channels" -b "$bits" -t wav - synth 2 sine 440 sine 660 2>/dev/null |
    tee ref.wav | "$lym" - 2>enc.txt | "$lym" -d -c - 2>dec.txt | cmp -s - ref.wav ||
    fail "sox | lym - | lym -d -c - | cmp: $format"
  for log in enc.txt dec.txt; do
    contains $log "-  "
    lacks $log "size"; lacks $log "failed"
  done
  no_leftovers "pipeline $format"
done

# --- unknown lengths: data size 0 or 0xFFFFFFFF (RIFF sizes to match), and sox's own stream; the
# stream read from a pipe makes the same .lym file as from a file (which warns), and comes back
# byte for byte
for sizes in "0 0" "4294967295 4294967295" "0 36"; do
  wave_stream $sizes > unknown.wav
  wave_stream $sizes | "$lym" -f - -o piped.lym > out.txt || fail "unknown length $sizes refused"
  lacks out.txt "Data size"; lacks out.txt "RIFF size"
  run 0 -f unknown.wav; contains out.txt "Data size unknown"
  same piped.lym unknown.lym
  "$lym" -q -d -c piped.lym | cmp -s - unknown.wav || fail "unknown length $sizes not restored"
done
tail -c +45 a.wav | sox -t raw -r 44100 -e signed -b 16 -c 2 - -t wav - 2>/dev/null | tee sox.wav |
  "$lym" -q - > sox.lym || fail "sox's pipe stream refused"
"$lym" -q -d -c - < sox.lym | cmp -s - sox.wav || fail "sox's pipe stream not restored"
no_leftovers "unknown lengths"

# --- a stream cut short: its stated size runs past the end, which a pipe's writer does not leave
head -c 20000 a.wav | "$lym" - -o cut.lym > out.txt
contains out.txt "Data size past end"

# --- files into pipes and back: the same bytes as with files, the lines for people on stderr
run 0 -c a.wav; mv out.txt c.lym
same c.lym a.lym
contains err.txt "a.wav"
run 0 -o - --tag Title=Piped a.wav; mv out.txt tagged.lym
run 0 --list-tags tagged.lym; contains out.txt "Title = Piped"
run 0 -d -c a.lym; mv out.txt a.out.wav
same a.out.wav a.wav
run 0 -d -c -wm0 a.lym; mv out.txt generated.wav
run 0 -d -wm0 -o generated_file.wav a.lym
same generated.wav generated_file.wav
# A trailer after the samples comes back through two pipes.
python3 - a.wav trailer.wav <<'PY'
import struct, sys
wave = bytearray(open(sys.argv[1], "rb").read()) + b"LIST" + struct.pack("<I", 6) + b"INFOab"
wave[4:8] = struct.pack("<I", len(wave) - 8)
open(sys.argv[2], "wb").write(wave)
PY
"$lym" -q -c trailer.wav | "$lym" -q -d - | cmp -s - trailer.wav || fail "trailer lost in pipes"
no_leftovers "files into pipes"

# --- test and information from standard input
run 0 -t - < a.lym; contains out.txt "-  "; contains out.txt "Ok"
run 0 -i - < a.lym; contains out.txt "=== - ==="; contains out.txt "Samples per channel"
run 0 --info=json - < tagged.lym
python3 -c 'import json,sys; d=json.load(open("out.txt")); assert d[0]["file"] == "-", d' ||
  fail "the JSON document names standard input otherwise"
cp long.lym damaged.lym; damage damaged.lym
run 1 -t - < damaged.lym; contains out.txt "Audio data damaged"
# The damaged stream decodes into the pipe with its length kept.
"$lym" -q -d -c damaged.lym 2>err.txt > muted.wav
[ "$(stat -c %s muted.wav)" = "$(stat -c %s long.wav)" ] || fail "a damaged stream lost length"
contains err.txt "Audio data damaged"
absent Lym_Deco_Error.txt
no_leftovers "test and information"

# --- a reader that goes away: a write error with its reason, status 1, nothing left behind
for args in "-d -c long.lym" "-c long.wav" "-d - -c"; do
  # shellcheck disable=SC2086  # the arguments split as typed
  "$lym" $args < long.lym 2>err.txt | head -c 1000 > /dev/null
  status=${PIPESTATUS[0]}
  [ "$status" = 1 ] || fail "lym $args into a closed pipe exited $status"
  contains err.txt "Error writing destination: Broken pipe"
  no_leftovers "lym $args into a closed pipe"
done
# A writer cut off half-way: the stream is damaged, said so, and nothing is left behind.
head -c $(($(stat -c %s long.lym) / 2)) long.lym | "$lym" -d - -o half.wav 2>err.txt >out.txt
[ "${PIPESTATUS[1]}" = 1 ] || fail "half a stream decoded without complaint"
contains out.txt "damaged"
no_leftovers "half a stream"

# --- a signal while standard input is spooled: the scratch file goes
mkfifo feed
"$lym" - -o never.lym < feed > /dev/null 2>&1 &
pid=$!
exec 3>feed
head -c 300000 long.wav >&3
sleep 0.5
kill -TERM $pid
wait $pid; status=$?
exec 3>&-
[ "$status" = 143 ] || fail "lym ended by SIGTERM exited $status"
absent never.lym
no_leftovers "a signal while spooling"

# --- a report that does not reach its reader is a loss
# shellcheck disable=SC2046  # the same file, many times
"$lym" -i $(printf 'a.lym %.0s' {1..300}) 2>err.txt | head -c 10 > /dev/null
[ "${PIPESTATUS[0]}" = 1 ] || fail "a report into a closed pipe ended well"
contains err.txt "error writing standard output"

# --- what cannot work with a pipe is a usage error, and leaves the files alone
cp a.lym kept.lym
for args in "-c a.wav long.wav" "- a.wav" "-t -c a.lym" "-d -c --lost=cut a.lym" \
            "-d -c --damaged=delete a.lym" "-c -o x.lym a.wav" "--delete-input-file -" \
            "--keep-time -c a.wav" "- -O folder" "--list-tags -" "--delete-input-file -c a.wav" \
            "--delete-input-file -d -c a.lym" "--tag T=V -c a.lym" "--tag T=V -o - a.lym"; do
  # shellcheck disable=SC2086
  run 2 $args < /dev/null
done
same a.lym kept.lym; exists a.wav
# An output that is there is refused as with files.
run 1 - -o a.lym < a.wav; contains out.txt "Already exists"; same a.lym kept.lym
# Audio to or from a terminal is refused (script gives the tool a terminal).
if command -v script >/dev/null; then
  script -qec "$lym -c a.wav" /dev/null > tty.txt 2>&1
  [ $? = 1 ] || fail "compressed audio written to a terminal"
  contains tty.txt "standard output is a terminal"
fi
no_leftovers "usage errors"

finish "pipes: all checks passed"
