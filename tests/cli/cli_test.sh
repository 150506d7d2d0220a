#!/usr/bin/env bash
# Runs the command-line tool as a user would, on generated files: every action and option, exit
# statuses, output names, existing outputs, damaged inputs, protocol files, bad inputs.
#   cli_test.sh LYM DEMO_WAVE [RUNNER...]
# RUNNER, when given, is the command that runs the two programs: Wine for a Windows build, whose
# tool (lymc.exe) ends its output lines in CR LF; they are compared without the CR.
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
runner=("${@:3}")
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"

"${runner[@]}" "$demo" a.wav 2
"${runner[@]}" "$demo" mono8.wav 1.3 8 1 22050
"${runner[@]}" "$demo" hi.wav 0.7 24 2 96000
"${runner[@]}" "$demo" a.b.wav 0.5 || exit 1
printf 'not a wave file at all' > text.wav

# --- information about the program
run 0 --version; contains out.txt "1.0.1"
run 0 --help
for option in -d -t -n -i --info --info=json -p -V -o -O -f -wm0 -wm1 --damaged --lost --error-log \
              --no-error-log --protocol --append --keep-time --delete-input-file -q --help \
              --version; do
  contains out.txt "$option"
done
lacks out.txt "--cpu"

# --- usage errors: status 2 and a one-line hint
run 2; contains err.txt "no input files"; [ "$(wc -l < err.txt)" -eq 1 ] || fail "hint not one line"
run 2 -o x.lym a.wav mono8.wav; contains err.txt "-o"
run 2 -p5 a.wav
run 2 -p2x a.wav
run 2 --bogus a.wav
run 2 -d -t a.lym
run 2 --info=nonsense a.lym
run 2 --lost=maybe a.lym
run 2 --cpu=quantum a.wav
run 2 -o
for action in -t -n -i; do
  run 2 "$action" --delete-input-file a.wav; contains err.txt "--delete-input-file"
done

# --- compression, names and existing outputs
run 0 a.wav mono8.wav hi.wav a.b.wav
exists a.lym; exists mono8.lym; exists hi.lym; exists a.b.lym
grep -qE '^a\.wav +[0-9]+\.[0-9]{2}% +[0-9]+\* $' out.txt || fail "result line: $(head -1 out.txt)"
contains out.txt "Compression:"
contains out.txt "Speed:"
cp a.lym a.lym.first
run 1 a.wav; contains out.txt "Already exists"; contains out.txt "1 files already existed."
run 0 -f a.wav
run 0 -p4m -V -f a.wav
run 0 -p0 -f a.wav
run 0 -p2e -f a.wav
ls ./*partial* >/dev/null 2>&1 && fail "temporary outputs left behind"

# --- the same bytes whatever the kernels
run 0 -f --cpu=portable -o portable.lym a.wav
run 0 -f -o vector.lym a.wav
same portable.lym vector.lym

# --- test compression writes nothing
mkdir n && cp a.wav n/
run 0 -n n/a.wav; absent n/a.lym; contains out.txt "%"

# --- output folder and output name
mkdir out
run 0 -O out a.wav mono8.wav; exists out/a.lym; exists out/mono8.lym
run 0 -o named.lym hi.wav; exists named.lym
run 0 -o out/deeper.lym hi.wav; exists out/deeper.lym

# --- inputs from several folders: each output beside its input
mkdir -p one two
cp a.wav one/x.wav; cp mono8.wav two/y.wav
run 0 one/x.wav two/y.wav; exists one/x.lym; exists two/y.lym

# --- names beyond ASCII (the Windows tool must not take them in its ANSI code page)
cp a.wav 'Grüße, ça.wav'
run 0 'Grüße, ça.wav'; exists 'Grüße, ça.lym'; contains out.txt 'Grüße, ça.wav'
run 0 -d -o 'zurück €.wav' 'Grüße, ça.lym'; same 'zurück €.wav' a.wav

# --- test, decompression, round trips
run 0 -t a.lym mono8.lym hi.lym; contains out.txt "Ok"
mkdir back
run 0 -d -O back a.lym mono8.lym hi.lym a.b.lym
same back/a.wav a.wav; same back/mono8.wav mono8.wav; same back/hi.wav hi.wav
exists back/a.b.wav; same back/a.b.wav a.b.wav
run 1 -d -O back a.lym; contains out.txt "Already exists"
run 0 -d -f -O back a.lym; same back/a.wav a.wav
run 0 -d -o restored.wav hi.lym; same restored.wav hi.wav
run 0 -d -wm0 -f -o plain.wav a.lym; same plain.wav a.wav   # the demo's header is the standard one

# --- information
run 0 -i a.lym; contains out.txt "=== a.lym"; contains out.txt "Encoder:"; contains out.txt "Status:"
run 0 -i1 mono8.lym; contains out.txt "V 1.0.1, Normal + Standard"
run 0 --info=encoder a.lym; contains out.txt "Normal + Extra"   # last made with -p2e
run 0 --info=wave a.lym; contains out.txt "Header 44, Footer 0 Bytes"
run 0 -i2 a.lym; contains out.txt "Header 44"

# --- protocol files
mkdir proto
run 0 --protocol -O proto a.wav; exists proto/Lym_Enco_Proto.txt
contains proto/Lym_Enco_Proto.txt "Results"; lacks proto/Lym_Enco_Proto.txt "Diagnostics"
grep -q $'\r$' proto/Lym_Enco_Proto.txt || fail "protocol lines do not end in CR LF"
run 0 --protocol=diagnostics --append -f -O proto a.wav
contains proto/Lym_Enco_Proto.txt "Diagnostics"
[ "$(grep -c 'Results' proto/Lym_Enco_Proto.txt)" -eq 2 ] || fail "protocol not appended"
run 0 --protocol -d -O proto a.lym; exists proto/Lym_Deco_Proto.txt
run 0 --protocol -i a.lym; exists Lym_Info_Proto.txt

# --- damaged input
cp a.lym damaged.lym
damage damaged.lym
run 1 -t damaged.lym; contains out.txt "Audio data damaged"
mkdir dmg
run 1 -d -wm0 -O dmg damaged.lym; exists dmg/damaged.wav; exists dmg/Lym_Deco_Error.txt
contains dmg/Lym_Deco_Error.txt "Skipped data blocks"
[ "$(stat -c %s dmg/damaged.wav)" -eq "$(stat -c %s a.wav)" ] || fail "muted output changed length"
run 1 -d -wm0 -f --lost=cut --no-error-log -O dmg -o cut.wav damaged.lym
[ "$(stat -c %s cut.wav)" -lt "$(stat -c %s a.wav)" ] || fail "cut output not shorter"
mkdir dmg2
run 1 -d --damaged=delete -O dmg2 damaged.lym; absent dmg2/damaged.wav
# A restored header would not match the shortened audio.
run 1 -d --lost=cut -O dmg2 damaged.lym; contains out.txt "Undecodable"; absent dmg2/damaged.wav

# --- outputs with their inputs' times; inputs removed only after everything went well
mkdir moved && cp a.wav moved/x.wav
touch -d @981173106 moved/x.wav
run 0 --keep-time --delete-input-file moved/x.wav; absent moved/x.wav
[ "$(stat -c %Y moved/x.lym)" -eq 981173106 ] || fail "compression did not keep the time"
run 0 -d --keep-time --delete-input-file moved/x.lym; absent moved/x.lym; same moved/x.wav a.wav
[ "$(stat -c %Y moved/x.wav)" -eq 981173106 ] || fail "decompression did not keep the time"
run 1 --delete-input-file a.wav; contains out.txt "Already exists"; exists a.wav
run 1 -d --delete-input-file -f -O dmg damaged.lym; exists damaged.lym

# --- bad inputs
run 1 text.wav; contains out.txt "Wave file not supported"; absent text.lym
# The system's reason follows the batch's text (in the system's own words, which differ by system).
run 1 missing.wav; contains out.txt "Error reading source: "
run 1 -t missing.lym; contains out.txt "Error reading source"
run 1 -t text.wav
run 1 -i text.wav
run 1 -O /nonexistent/folder a.wav; contains err.txt "cannot make the folder '/nonexistent/folder'"
run 0 -O new a.wav; exists new/a.lym
if [ ${#runner[@]} -gt 0 ]; then  # Windows' device names are never outputs
  run 1 -f -o NUL a.wav; contains out.txt "Destination is not a regular file"
fi
run 0 -t -O untouched a.lym; absent untouched

# --- progress: only on a terminal, and not in quiet mode
run 0 -f a.wav; [ ! -s err.txt ] || fail "progress written to a file: $(cat err.txt)"
if command -v script >/dev/null; then
  # Wine draws its console on the terminal with cursor-control sequences; they are left out.
  on_terminal() {
    script -qec "$(printf '%q ' "${runner[@]}" "$lym" "$@")" /dev/null > tty.txt 2>&1
    local got=$?
    if [ ${#runner[@]} -gt 0 ]; then sed -i 's/\x1b\[[0-9;?]*[A-Za-z]//g' tty.txt; fi
    return $got
  }
  on_terminal -f a.wav || fail "lym on a terminal failed"
  grep -q $'\r.*a\.wav.*%' tty.txt || fail "no progress line on a terminal: $(cat -A tty.txt | head -3)"
  on_terminal -q -f a.wav
  [ ! -s tty.txt ] || fail "quiet mode printed on a terminal: $(cat -A tty.txt | head -3)"
fi

# --- pipes: standard input and output carry the audio, the lines for people go to stderr (the
# pipe tests go further; this runs under Wine too)
"${runner[@]}" "$lym" -q -c hi.wav | "${runner[@]}" "$lym" -q -d - | cmp -s - hi.wav ||
  fail "hi.wav did not come back through two pipes"
"${runner[@]}" "$lym" -c mono8.wav 2>lines.txt < /dev/null > piped.lym
if [ ${#runner[@]} -gt 0 ]; then sed -i 's/\r$//' lines.txt; fi
contains lines.txt "mono8.wav"
run 0 -f mono8.wav; same piped.lym mono8.lym
run 0 -t - < piped.lym; contains out.txt "Ok"
run 2 -c a.wav mono8.wav; contains err.txt "standard output (-c) takes one output"

# --- quiet
run 0 -q -f a.wav; [ ! -s out.txt ] || fail "quiet printed: $(cat out.txt)"
run 1 -q missing.wav; [ ! -s out.txt ] || fail "quiet printed on stdout"; contains err.txt "missing.wav"

finish "all command-line checks passed"
