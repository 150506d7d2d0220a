#!/usr/bin/env bash
# What a careless or hostile user does to the command-line tool, on generated files: links planted
# under the names of outputs and protocol files, inputs and bystanders named like temporary files,
# an output that is its own input, FIFOs, devices and folders as outputs, Ctrl-C and kill in the
# middle of a file, a full file system, two runs writing one file, protocol files that cannot be
# written, WAVE metadata too large to store, WAVE files as other tools write them, the longest
# names, permissions. No file may be lost or written through a link, every loss must be reported
# (under -q too) with status 1, and no temporary file may be left behind after any case.
#   hostile_test.sh LYM DEMO_WAVE
# The cases are those of a POSIX system; run natively only.
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
# No case may hang (a FIFO opened for writing would): every run of lym has a time limit.
runner=(timeout 120)
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"
trap 'umount "$work/full" 2>/dev/null; rm -rf "$work"' EXIT

# Files named like lym's temporary files that a case planted on purpose.
planted=()
no_temporaries() {
  local file
  while IFS= read -r file; do
    [[ " ${planted[*]} " == *" $file "* ]] || fail "$1: temporary file left behind: $file"
  done < <(find . -name '.lym-*.tmp'; find /dev -maxdepth 1 -name '.lym-*.tmp')
}

# wave OUT KIND FROM: a WAVE file as other tools write them, made from FROM (a demo file with the
# standard 44-byte header). KIND: riff-size (a RIFF size that disagrees with the length),
# data-zero and data-unknown (the data size 0 or 0xFFFFFFFF of a writer that could not rewind),
# data-past-end, valid-bits (extensible, 4 valid bits fewer than the container's), mono-mask:MASK
# (extensible mono on the speakers of MASK), big-meta (LIST chunks of 900000 bytes before the
# samples and 200000 after them), repeat:N (the samples N times over).
wave() {
  python3 - "$@" <<'EOF'
import struct, sys
out, kind, source = sys.argv[1:4]
kind, _, number = kind.partition(':')
raw = open(source, 'rb').read()
fmt, pcm = raw[20:36], raw[44:]
_, channels, rate, byte_rate, align, bits = struct.unpack('<HHIIHH', fmt)

def chunk(name, body):
    return name + struct.pack('<I', len(body)) + body + b'\0' * (len(body) % 2)

def riff(body, size=None):
    return b'RIFF' + struct.pack('<I', len(body) + 4 if size is None else size) + b'WAVE' + body

def extensible(valid_bits, mask):
    pcm_guid = bytes.fromhex('0100000000001000800000aa00389b71')
    return chunk(b'fmt ', struct.pack('<HHIIHHHHI', 0xFFFE, channels, rate, byte_rate, align, bits,
                                      22, valid_bits, mask) + pcm_guid)

def sized_data(size):
    return b'data' + struct.pack('<I', size) + pcm

def note(size):
    return chunk(b'LIST', b'INFO' + chunk(b'ICMT', b'x' * size))

plain = chunk(b'fmt ', fmt)
waves = {
    'riff-size': lambda: riff(plain + chunk(b'data', pcm), len(pcm) + 4096),
    'data-zero': lambda: riff(plain + sized_data(0), 36),
    'data-unknown': lambda: riff(plain + sized_data(0xFFFFFFFF), 0xFFFFFFFF),
    'data-past-end': lambda: riff(plain + sized_data(len(pcm) + 100000)),
    'valid-bits': lambda: riff(extensible(bits - 4, 3) + chunk(b'data', pcm)),
    'mono-mask': lambda: riff(extensible(bits, int(number, 0)) + chunk(b'data', pcm)),
    'big-meta': lambda: riff(plain + note(900000) + chunk(b'data', pcm) + note(200000)),
    'repeat': lambda: riff(plain + chunk(b'data', pcm * int(number or 1))),
}
open(out, 'wb').write(waves[kind]())
EOF
}

# Under -q a loss goes to stderr alone.
nothing_on_stdout() { [ ! -s out.txt ] || fail "-q printed on stdout: $(head -c 300 out.txt)"; }

# as_nobody STATUS ARGS...: run, as a user without root's rights when this is root (root writes
# into read-only folders); lym is copied where that user may run it.
as_nobody() {
  local runner=("${runner[@]}") lym=$lym
  if [ "$(id -u)" -eq 0 ]; then
    runner+=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    lym=$work/lym-copy
  fi
  run "$@"
}

"$demo" a.wav 2
"$demo" mono8.wav 1.3 8 1 22050 || exit 1
"$lym" -q a.wav && cp a.lym damaged.lym && damage damaged.lym || exit 1
printf 'victim\n' > victim.txt
cp victim.txt victim.orig

# --- links and hard links under the outputs' names: refused as existing, replaced with -f, never
# written through; a link to nowhere never makes the file it names
planted_links() {
  mkdir links links/back
  for name in soft hard nowhere; do cp a.wav links/$name.wav; done
  ln -s ../victim.txt links/soft.lym
  ln victim.txt links/hard.lym
  ln -s ../nothing.lym links/nowhere.lym
  ln -s ../../victim.txt links/back/soft.wav
  run 1 links/soft.wav links/hard.wav links/nowhere.wav
  [ "$(grep -c 'Already exists' out.txt)" -eq 3 ] || fail "links not taken as existing: $(cat out.txt)"
  run 1 -d -o links/back/soft.wav a.lym; contains out.txt "Already exists"
  same victim.txt victim.orig; absent nothing.lym
  run 0 -f links/soft.wav links/hard.wav links/nowhere.wav
  run 0 -d -f -o links/back/soft.wav a.lym
  same victim.txt victim.orig; absent nothing.lym
  [ "$(stat -c %h victim.txt)" -eq 1 ] || fail "the hard link's file was written, not replaced"
  for file in links/soft.lym links/hard.lym links/nowhere.lym links/back/soft.wav; do
    [[ -f $file && ! -L $file ]] || fail "$file was not replaced by the output"
  done
  run 0 -t links/soft.lym links/hard.lym links/nowhere.lym
  same links/back/soft.wav a.wav
}

# --- links under the protocol files' names, appending or not
protocol_links() {
  mkdir proto
  cp a.wav damaged.lym proto/
  for name in Lym_Enco_Proto.txt Lym_Deco_Proto.txt Lym_Deco_Error.txt Lym_Info_Proto.txt; do
    ln -s ../victim.txt proto/$name
  done
  run 0 --protocol --append proto/a.wav
  run 1 -t --protocol --error-log proto/damaged.lym
  run 0 -i --protocol proto/a.lym
  same victim.txt victim.orig
  for name in Lym_Enco_Proto.txt Lym_Deco_Proto.txt Lym_Deco_Error.txt Lym_Info_Proto.txt; do
    [[ -f proto/$name && ! -L proto/$name ]] || fail "proto/$name was not replaced"
  done
  contains proto/Lym_Deco_Error.txt "damaged.lym"
}

# --- inputs and bystanders whose names look like temporary files: compressed, restored, never
# removed, also when a file of the batch fails
temporary_names() {
  mkdir temps
  cp a.wav temps/a.wav.lym-partial
  cp mono8.wav temps/.lym-abcdefghij.tmp
  printf 'not a wave file' > temps/text.wav
  printf 'bystander\n' | tee temps/.lym-0123456789.tmp temps/b.lym-partial > bystander.orig
  planted+=(./temps/.lym-abcdefghij.tmp ./temps/.lym-0123456789.tmp)
  run 1 temps/a.wav.lym-partial temps/.lym-abcdefghij.tmp temps/text.wav
  contains out.txt "Wave file not supported"
  run 0 -d -O temps/back temps/a.wav.lym temps/.lym-abcdefghij.lym
  same temps/back/a.wav.wav a.wav; same temps/back/.lym-abcdefghij.wav mono8.wav
  same temps/a.wav.lym-partial a.wav; same temps/.lym-abcdefghij.tmp mono8.wav
  same temps/.lym-0123456789.tmp bystander.orig; same temps/b.lym-partial bystander.orig
}

# --- an output that is its own input, however it is named, with or without -f
output_is_input() {
  mkdir self self/sub
  cp a.wav self/a.wav; cp a.wav self/song.lym
  ln -s a.wav self/soft.lym; ln self/a.wav self/hard.lym
  "$lym" -q -o self/x.lym a.wav
  cp self/x.lym x.orig
  for force in "" -f; do
    for output in self/a.wav self/soft.lym self/hard.lym self/sub/../a.wav ./self/./a.wav; do
      run 1 $force -o "$output" self/a.wav
      contains out.txt "Error writing destination: Destination is the source file"
    done
    run 1 $force self/song.lym; contains out.txt "Destination is the source file"
    run 1 -d $force -o self/sub/../x.lym self/x.lym; contains out.txt "Destination is the source file"
  done
  same self/a.wav a.wav; same self/song.lym a.wav; same self/x.lym x.orig
  [ -L self/soft.lym ] || fail "self/soft.lym replaced"
}

# --- two inputs of one run that make the same output: the second is refused, the first kept
one_output_twice() {
  mkdir twice twice/x twice/y
  cp a.wav twice/x/a.wav; cp mono8.wav twice/y/a.wav
  cp a.wav twice/b.wav; cp mono8.wav twice/b.WAV
  run 1 -f -O twice/out twice/x/a.wav twice/y/a.wav
  contains out.txt "Already exists: Written from another input of this run"
  same twice/out/a.lym a.lym
  run 1 -f twice/b.wav twice/b.WAV
  contains out.txt "Already exists: Written from another input of this run"
  same twice/b.lym a.lym
}

# --- destinations that are no regular files: refused, never opened (no hang), never replaced
special_destinations() {
  mkdir special
  for name in fifo folder socket; do cp a.wav special/$name.wav; done
  mkfifo special/fifo.lym
  mkdir special/folder.lym
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' special/socket.lym
  for force in "" -f; do
    run 1 $force special/fifo.wav special/folder.wav special/socket.wav
    [ "$(grep -c 'Error writing destination: Destination is not a regular file' out.txt)" -eq 3 ] ||
      fail "special destinations: $(cat out.txt)"
    run 1 $force -o /dev/null a.wav; contains out.txt "Destination is not a regular file"
    run 1 -d $force -o /dev/null a.lym; contains out.txt "Destination is not a regular file"
  done
  [[ -p special/fifo.lym && -d special/folder.lym && -S special/socket.lym && -c /dev/null ]] ||
    fail "a special destination was replaced"
  # A pipe as an input is refused at once rather than waited on.
  mkfifo special/in.wav special/pipe.lym
  run 1 special/in.wav; contains out.txt "Error reading source: Illegal seek"
  run 1 -t special/pipe.lym; contains out.txt "Error reading source: Illegal seek"
  run 1 -i special/pipe.lym
}

# interrupted SIGNAL ARGS...: runs lym with ARGS as a terminal would (no signal ignored), sends it
# SIGNAL once its temporary file exists in sig/, and checks its status, 128 + the signal's number.
interrupted() {
  local signal=$1 tries=0; shift
  env --default-signal "$lym" "$@" >out.txt 2>err.txt &
  local pid=$!
  until compgen -G "sig/.lym-*.tmp" >/dev/null; do
    if [ $((tries += 1)) -gt 2000 ]; then
      kill -KILL "$pid"; wait "$pid"
      fail "lym $* made no temporary file or ended before SIG$signal"
      return
    fi
    sleep 0.01
  done
  kill -s "$signal" "$pid"
  wait "$pid"
  local got=$? want=$((128 + $(kill -l "$signal")))
  [ "$got" -eq "$want" ] || fail "lym $* exited $got on SIG$signal, expected $want"
}

# --- Ctrl-C, kill and hang-up in the middle of a long compression and a long decompression:
# nothing left behind, the old destination and the source as they were
signals() {
  mkdir sig
  "$demo" sig/seed.wav 5 24 2 96000
  wave sig/long.wav repeat:24 sig/seed.wav   # two minutes of 96 kHz 24-bit stereo
  "$lym" -q -p0 sig/long.wav || fail "sig/long.wav not compressed"
  cksum sig/long.wav sig/long.lym > sums.txt
  for signal in INT TERM HUP; do
    cp victim.txt sig/old.lym; cp victim.txt sig/old.wav
    interrupted $signal -f -p4m -o sig/old.lym sig/long.wav
    interrupted $signal -d -f -o sig/old.wav sig/long.lym
    same sig/old.lym victim.txt; same sig/old.wav victim.txt
  done
  cksum sig/long.wav sig/long.lym | cmp -s - sums.txt || fail "a source changed on a signal"
}

# --- memory that runs out inside a job: the file fails with the reason, the old output stays, no
# temporary file is left. The address space is narrowed step by step from where the program cannot
# even start, so the first runs that start run short inside the job. A build whose checking
# runtime reserves a wide address space (the sanitizers') cannot run narrowed at all.
failing_allocation() {
  if ! { (ulimit -v 200000; exec "$lym" --version) >/dev/null 2>&1; } 2>/dev/null; then
    echo "skipped the failing allocation: this build does not start in 200 MB of addresses"
    return
  fi
  mkdir mem
  "$demo" mem/m.wav 5 24 2 96000
  cp victim.txt mem/m.lym
  local limit started=false short=false
  for limit in $(seq 4000 500 16000); do
    (ulimit -v "$limit"; exec "$lym" -f -p4m mem/m.wav) >out.txt 2>err.txt
    case $? in
      127) continue ;;  # the loader could not map the libraries
      # The C++ runtime could not even allocate the exception for its first failing allocation,
      # before any job began: like the loader, too little to start with.
      134) [ ! -s out.txt ] && grep -q "terminate called without an active exception" err.txt &&
             continue
           fail "lym under ulimit -v $limit: $(head -c 300 err.txt)" ;;
      0) started=true; break ;;
      1) started=true; short=true
         contains out.txt "Error writing destination: Out of memory"
         same mem/m.lym victim.txt ;;
      *) fail "lym under ulimit -v $limit: $(head -c 300 err.txt)" ;;
    esac
  done
  $started || echo "skipped the failing allocation: lym did not start with up to 16 MB of addresses"
  $started && ! $short && echo "skipped the failing allocation: no limit ran short inside the job"
}

# --- a full file system: the reason on the line (under -q too), status 1, old outputs intact
full_file_system() {
  if [ "$(id -u)" -ne 0 ]; then echo "skipped the full file system: mounting one needs root"; return; fi
  mkdir full
  if ! mount -t tmpfs -o size=1m lym-test full 2>mount.txt; then
    echo "skipped the full file system: $(cat mount.txt)"
    return
  fi
  "$demo" big.wav 20
  "$lym" -q big.wav
  cp victim.txt full/big.lym; cp victim.txt full/big.wav
  run 1 -f -O full big.wav; contains out.txt "Error writing destination: No space left on device"
  run 1 -q -f -O full big.wav; contains err.txt "No space left on device"; nothing_on_stdout
  run 1 -d -f -O full big.lym; contains out.txt "Error writing destination: No space left on device"
  same full/big.lym victim.txt; same full/big.wav victim.txt
  # Full to the last byte: the protocol file cannot be written either.
  head -c 2M /dev/zero > full/filler 2>/dev/null
  run 1 -q -t --protocol -O full a.lym; contains err.txt "Error saving log data to File: full/"
  umount full
}

# --- two runs writing one destination at once: the destination is one of the two outputs, whole;
# without -f one run is told that the destination already exists
two_runs_at_once() {
  mkdir race
  "$demo" race/x.wav 8
  "$demo" race/y.wav 12 8 1 22050
  "$lym" -q -p4 -o race/x.lym race/x.wav && "$lym" -q -p4 -o race/y.lym race/y.wav
  local force statuses
  for force in -f -f ""; do
    rm -f race/both.lym
    "${runner[@]}" "$lym" -q $force -p4 -o race/both.lym race/x.wav 2>x.txt & local first=$!
    "${runner[@]}" "$lym" -q $force -p4 -o race/both.lym race/y.wav 2>y.txt & local second=$!
    wait $first; statuses=$?
    wait $second; statuses+=" $?"
    case "$force:$statuses" in
      "-f:0 0" | ":0 1" | ":1 0") ;;
      *) fail "two runs at once ${force:-without -f} ended with $statuses" ;;
    esac
    run 0 -t race/both.lym
    cmp -s race/both.lym race/x.lym || cmp -s race/both.lym race/y.lym ||
      fail "race/both.lym is neither run's output"
  done
}

# --- protocol files that cannot be written (a folder under the name, a read-only folder): the
# line on stderr also under -q, status 1
unwritable_protocols() {
  mkdir blocked
  cp a.wav a.lym damaged.lym blocked/
  for name in Lym_Enco_Proto.txt Lym_Deco_Proto.txt Lym_Deco_Error.txt Lym_Info_Proto.txt; do
    mkdir blocked/$name
  done
  run 1 -n --protocol blocked/a.wav; contains out.txt "Error writing protocol file blocked/Lym_Enco_Proto.txt"
  run 1 -t --protocol blocked/a.lym
  contains out.txt "Error saving log data to File: blocked/Lym_Deco_Proto.txt"
  run 1 -i --protocol blocked/a.lym
  contains out.txt "Error saving log data to File: blocked/Lym_Info_Proto.txt"
  run 1 -q -n --protocol blocked/a.wav; nothing_on_stdout; contains err.txt "Lym_Enco_Proto.txt"
  run 1 -q -t --protocol blocked/a.lym; nothing_on_stdout; contains err.txt "Lym_Deco_Proto.txt"
  run 1 -q -t --error-log blocked/damaged.lym; contains err.txt "Lym_Deco_Error.txt"
  run 1 -q -i --protocol blocked/a.lym; nothing_on_stdout; contains err.txt "Lym_Info_Proto.txt"

  mkdir locked
  cp a.wav a.lym locked/
  chmod 555 locked
  chmod 755 "$work"
  cp "$lym" lym-copy
  as_nobody 1 -i --protocol locked/a.lym
  contains out.txt "Error saving log data to File: locked/Lym_Info_Proto.txt"
  as_nobody 1 -q -n --protocol locked/a.wav; contains err.txt "Error writing protocol file"
  as_nobody 1 -f locked/a.wav; contains out.txt "Error writing destination: Permission denied"
  same locked/a.lym a.lym
  chmod 755 locked
}

# --- WAVE metadata too large to store: a loss, reported under -q too, unless -wm0 asked for it
oversized_metadata() {
  mkdir meta
  wave meta/big.wav big-meta a.wav
  run 1 meta/big.wav; contains out.txt "Meta data too big"; exists meta/big.lym
  run 1 -q -f meta/big.wav; nothing_on_stdout; contains err.txt "Meta data too big"
  run 0 -q -f -wm0 meta/big.wav; [[ ! -s out.txt && ! -s err.txt ]] || fail "-wm0 reported a loss"
  run 0 -t meta/big.lym
}

# --- WAVE files as other tools write them: accepted with a warning, restored byte for byte
foreign_waves() {
  mkdir foreign foreign/back
  "$demo" foreign/hi24.wav 0.5 24 2 48000
  "$demo" foreign/mono.wav 0.5 16 1 44100
  for kind in riff-size data-zero data-unknown data-past-end; do wave foreign/$kind.wav $kind a.wav; done
  wave foreign/valid-bits.wav valid-bits foreign/hi24.wav
  wave foreign/mask-left.wav mono-mask:0x1 foreign/mono.wav
  wave foreign/mask-top.wav mono-mask:0x800 foreign/mono.wav
  rm foreign/hi24.wav foreign/mono.wav
  if command -v sox >/dev/null; then
    # Writing a stream of unknown length into a pipe, sox cannot come back to its sizes: it
    # leaves them at their largest.
    tail -c +45 a.wav | sox -t raw -r 44100 -e signed -b 16 -c 2 - -t wav - 2>/dev/null |
      cat > foreign/sox.wav
  fi
  local file name
  run 0 foreign/*.wav
  for file in foreign/*.wav; do
    name=${file#foreign/}
    grep -qE "^${name//./\\.} +[0-9]+\.[0-9]{2}% +[0-9]+\* [A-Z]" out.txt ||
      fail "no warning for $name: $(grep -F "$name" out.txt)"
  done
  run 0 -d -O foreign/back foreign/*.lym
  for file in foreign/*.wav; do same "$file" "foreign/back/${file#foreign/}"; done
}

# --- names of the longest length: a 255-byte output comes and goes back; one byte more is refused
long_names() {
  mkdir long
  local name
  name=$(printf 'n%.0s' {1..251})
  cp a.wav "long/$name.wav"
  run 0 "long/$name.wav"; exists "long/$name.lym"
  mkdir long/back
  run 0 -d -O long/back "long/$name.lym"; same "long/back/$name.wav" a.wav
  cp a.wav "long/${name}xx.w"
  run 1 "long/${name}xx.w"; contains out.txt "Error writing destination: File name too long"
}

# --- an output has its source's permission bits less the umask
permissions() {
  mkdir perm
  cp a.wav perm/a.wav; chmod 640 perm/a.wav
  (umask 022 && "$lym" -q perm/a.wav && "$lym" -q -d -o perm/back.wav perm/a.lym)
  [ "$(stat -c %a perm/a.lym perm/back.wav | tr '\n' ' ')" = "640 640 " ] ||
    fail "permissions $(stat -c %a perm/a.lym perm/back.wav | tr '\n' ' '), expected 640"
  chmod 666 perm/a.wav
  (umask 077 && "$lym" -q -f perm/a.wav)
  [ "$(stat -c %a perm/a.lym)" = 600 ] || fail "umask 077 gave $(stat -c %a perm/a.lym)"
}

# --- the actions that write nothing, and an output folder made when something goes into it
quiet_actions() {
  mkdir calm
  cp a.wav a.lym calm/
  find calm | sort > before.txt
  run 0 -t calm/a.lym; run 0 -n calm/a.wav; run 0 -i calm/a.lym
  run 0 -t -O calm/new calm/a.lym; run 0 -n -O calm/new calm/a.wav
  find calm | sort | cmp -s - before.txt || fail "a test run wrote into calm/: $(find calm)"
  run 0 -t --protocol -O calm/made calm/a.lym; exists calm/made/Lym_Deco_Proto.txt
  run 0 -n --protocol -O calm/measured calm/a.wav; exists calm/measured/Lym_Enco_Proto.txt
  run 0 -O calm/made/deeper calm/a.wav; exists calm/made/deeper/a.lym
}

for case in planted_links protocol_links temporary_names output_is_input one_output_twice \
            special_destinations signals failing_allocation full_file_system two_runs_at_once unwritable_protocols \
            oversized_metadata foreign_waves long_names permissions quiet_actions; do
  "$case"
  no_temporaries "$case"
done

finish "no file lost, every loss reported, nothing left behind"
