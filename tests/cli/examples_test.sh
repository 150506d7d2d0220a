#!/usr/bin/env bash
# Every example of the README's "Using lym" block and of the man page's EXAMPLES runs as shown.
# Each command line is taken from the two files, so that a changed example is tested as it stands,
# and runs in a folder of its own holding the files that it names, generated: X.wav a WAVE file,
# X.lym a compressed one (damaged when its name begins with "broken"), *.wav and *.lym two of
# each. It must end with status 0, or with the one its comment gives ("status N"), write exactly
# the files that it promises (its action's outputs, the protocol and error files asked for) and
# nothing else, replace the outputs that existed when it says -f, and restore intact files byte for
# byte.
#   examples_test.sh LYM DEMO_WAVE README MANPAGE
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
readme=$(realpath "$3")
manpage=$(realpath "$4")
runner=()
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"

# The example lines of both files, "lym ARGS  # COMMENT", the man page's unescaped.
examples() {
  awk '/^## Using lym/ { section = 1; next }
       section && /^```/ { if (inside) exit; inside = 1; next }
       inside' "$readme"
  awk '/^\.SH EXAMPLES/ { section = 1; next }
       section && /^\.nf/ { inside = 1; next }
       inside && /^\.fi/ { exit }
       inside' "$manpage" | sed 's/\\-/-/g'
}

# make_input NAME: the file or files that NAME stands for, in the current folder; the WAVE files
# behind compressed ones are kept in ../originals.
make_input() {
  case $1 in
    '*.wav') "$demo" first.wav 1.2 && "$demo" second.wav 0.7 8 1 22050 ;;
    '*.lym') make_input first.lym && make_input second.lym ;;
    *.wav) "$demo" "$1" 1 ;;
    *.lym)
      "$demo" "../originals/${1%.lym}.wav" 1 16 1 &&
        "$lym" -q -o "$1" "../originals/${1%.lym}.wav" || return 1
      if [[ $1 == broken* ]]; then damage "$1"; fi
      ;;
  esac
}

# What an example's arguments ask for, in the variables of check_example.
parse_arguments() {
  local i
  for ((i = 1; i < ${#words[@]}; i++)); do
    case ${words[i]} in
      -o) output=${words[++i]} ;;
      -O) folder=${words[++i]} ;;
      -f | --force) force=1 ;;
      -d | --decompress) action=decompress ;;
      -t | --test) action='test' ;;
      -n | --test-compression) action=measure ;;
      -i* | --info*) action=info ;;
      --protocol*) protocol=1 ;;
      --error-log) error_log=1 ;;
      --no-error-log) error_log=0 ;;
      --damaged=delete) keep_damaged=0 ;;
      -*) ;;
      *) inputs+=("${words[i]}") ;;
    esac
  done
}

# output_of INPUT: the output that the example makes of INPUT; nothing for an action without one.
output_of() {
  local extension
  case $action in
    compress) extension=.lym ;;
    decompress) extension=.wav ;;
    *) return ;;
  esac
  [[ ${1##*/} == broken* && $keep_damaged == 0 ]] && return
  if [ -n "$output" ]; then echo "$output"; else echo "${folder:-.}/$(basename "${1%.*}")$extension"; fi
}

# promised_files: the files that the example writes, one a line.
promised_files() {
  local input out_folder=${folder:-.} damaged=0
  if [ -n "$output" ]; then out_folder=$(dirname "$output"); fi
  for input in "${expanded[@]}"; do
    output_of "$input"
    [[ ${input##*/} == broken* ]] && damaged=1
  done
  if [ "$protocol" = 1 ]; then
    case $action in
      compress | measure) echo "$out_folder/Lym_Enco_Proto.txt" ;;
      decompress | test) echo "$out_folder/Lym_Deco_Proto.txt" ;;
      info) echo "$(dirname "${expanded[0]}")/Lym_Info_Proto.txt" ;;  # beside the files
    esac
  fi
  local error_log_default=0
  [ "$action" = decompress ] && error_log_default=1
  if [ "$damaged" = 1 ] && [ "${error_log:-$error_log_default}" = 1 ]; then
    echo "$out_folder/Lym_Deco_Error.txt"
  fi
}

# The examples' command, run as the folder's program.
lym() { "$lym" "$@"; }

# listing: every file below the current folder, one a line, sorted.
listing() { find . -type f | sed 's|^\./||' | sort; }

# changed_stale: the outputs put there before an example with -f that it has replaced.
changed_stale() {
  [ "$force" = 1 ] || return
  while IFS= read -r file; do
    grep -qx stale "$file" 2>/dev/null || echo "$file"
  done <<<"$promised"
}

check_example() {
  local line=$1 command want words=() inputs=() expanded=() input action=compress output=''
  local folder='' force=0 protocol=0 error_log='' keep_damaged=1 file promised written
  command=${line%%#*}
  want=$(sed -n 's/.*#.*status \([0-9]\+\).*/\1/p' <<<"$line")
  set -f
  eval "words=($command)"
  set +f
  [ "${words[0]}" = lym ] || { fail "an example that does not start with lym: $line"; return; }
  parse_arguments

  mkdir -p "$work/examples/originals" "$work/examples/here"
  cd "$work/examples/here" || return
  for input in ${inputs[@]+"${inputs[@]}"}; do
    make_input "$input" || fail "could not make $input for: $line"
    # shellcheck disable=SC2206  # a glob, expanded among the files just made
    expanded+=($input)
  done
  promised=$(promised_files | sed 's|^\./||' | sort -u)
  if [ "$force" = 1 ]; then
    while IFS= read -r file; do
      mkdir -p "$(dirname "$file")" && printf 'stale\n' > "$file"
    done <<<"$promised"
  fi
  listing > ../before.txt

  eval "$command" >../out.txt 2>../err.txt
  local got=$?
  [ "$got" -eq "${want:-0}" ] ||
    fail "'$line' exited $got, expected ${want:-0}: $(head -c 300 ../out.txt ../err.txt)"
  [ -z "$(comm -23 ../before.txt <(listing))" ] || fail "'$line' removed a file"
  written=$({ comm -13 ../before.txt <(listing); changed_stale; } | sort -u)
  [ "$written" = "$promised" ] ||
    fail "'$line' wrote [$(tr '\n' ' ' <<<"$written")], promised [$(tr '\n' ' ' <<<"$promised")]"
  if [ "$action" = decompress ]; then
    for input in "${expanded[@]}"; do
      [[ ${input##*/} == broken* ]] || same "$(output_of "$input")" "../originals/${input%.lym}.wav"
    done
  fi
  cd "$work" && rm -rf "$work/examples"
}

count=0
while IFS= read -r line; do
  [ -n "$line" ] || continue
  check_example "$line"
  count=$((count + 1))
done < <(examples)
[ "$count" -ge 10 ] || fail "only $count examples found in the README and the man page"

finish "all $count examples run as shown"
