#!/usr/bin/env bash
# Tags as a user edits them with the tool: written, listed, replaced, removed, edited twice, cover
# art of 1 MiB, text beyond ASCII, a damaged stream, bad keys, new files tagged while compressing;
# and read across with an independent APEv2 implementation (python3-mutagen) both ways.
#   tags_test.sh LYM DEMO_WAVE
set -uo pipefail
lym=$(realpath "$1")
demo=$(realpath "$2")
runner=()
# shellcheck source=test_helpers.sh
source "$(dirname "$0")/test_helpers.sh"

# Debian's interpreter, where python3-mutagen is installed (another python3 may come first).
python=/usr/bin/python3
[ -x "$python" ] || python=python3

"$demo" a.wav 2 || exit 1
run 0 -q a.wav
cp a.lym plain.lym

# --- written, listed, the samples and the stream's bytes untouched
title='Grüße ♪'
run 0 --tag "Title=$title" --tag Artist=Somebody --tag 'Comment=a=b' a.lym
contains out.txt "a.lym: tag written"
run 0 --list-tags a.lym
contains out.txt "a.lym: 3 items"
contains out.txt "  Title = $title"
contains out.txt "  Comment = a=b"
cmp -s -n "$(stat -c %s plain.lym)" plain.lym a.lym || fail "the stream before the tag changed"
run 0 -t a.lym

# --- edited twice: replaced regardless of case, removed, cover art from a file
head -c 1048576 /dev/urandom > cover.jpg
run 0 --tag TITLE=Second --remove-tag artist --tag-from-file "Cover Art (Front)=cover.jpg" a.lym
run 0 --list-tags a.lym
contains out.txt "  TITLE = Second"  # the key as last given
lacks out.txt "Artist"
contains out.txt "  Cover Art (Front) = binary, $((1048576 + 10)) bytes"
run 0 -d -f -o back.wav a.lym
same a.wav back.wav

# --- read across with mutagen, and mutagen's tags read by lym
if "$python" -c 'import mutagen.apev2' 2>/dev/null; then
  "$python" - a.lym "$title" <<'PY' || fail "mutagen read the tag differently"
import sys
import mutagen.apev2 as ape
tag = ape.APEv2(sys.argv[1])
assert str(tag["Title"]) == "Second", tag["Title"]
cover = tag["Cover Art (Front)"]
assert cover.kind == ape.BINARY and cover.value.startswith(b"cover.jpg\0"), cover.kind
assert len(cover.value) == 1048576 + 10
tag["Album"] = sys.argv[2]
tag["Genre"] = ["Jazz", "Blues"]
tag.save()
PY
  run 0 --list-tags a.lym
  contains out.txt "  Album = $title"
  contains out.txt "  Genre = Jazz;Blues"
  run 0 -t a.lym
else
  fail "python3-mutagen is missing (scripts/setup.sh installs it)"
fi

# --- every item removed: the file is the stream alone again
run 0 --remove-all-tags a.lym
same plain.lym a.lym
run 0 --list-tags a.lym
contains out.txt "a.lym: no tag"

# --- a damaged stream takes a tag; a file that is no stream and bad keys are refused untouched
cp plain.lym damaged.lym
damage damaged.lym
run 0 --tag Title=Damaged damaged.lym
run 0 --list-tags damaged.lym
contains out.txt "  Title = Damaged"
printf 'not a stream' > text.lym
run 1 --tag Title=x text.lym
contains err.txt "text.lym"
cp plain.lym keys.lym
run 1 --tag ID3=x keys.lym
contains err.txt "not keys"
run 1 --tag-from-file "Cover Art (Back)=missing.jpg" keys.lym
contains err.txt "missing.jpg"
same plain.lym keys.lym
run 2 --tag novalue keys.lym
run 2 --tag =x keys.lym
run 2 -d --tag Title=x keys.lym
ls -A | grep -q '^\.lym-' && fail "a temporary file was left behind"

# --- compression tags its new files; removals and listings need .lym files
"$demo" b.wav 1 || exit 1
run 0 -q --tag "Title=$title" --tag-from-file "Cover Art (Front)=cover.jpg" b.wav
run 0 --list-tags b.lym
contains out.txt "  Title = $title"
contains out.txt "  Cover Art (Front) = binary, $((1048576 + 10)) bytes"
run 0 -d -o b2.wav b.lym
same b.wav b2.wav
"$demo" c.wav 1 || exit 1
run 2 --tag ID3=x c.wav
run 2 --remove-tag Title c.wav
run 2 --list-tags c.wav
absent c.lym

finish "tags: all checks passed"
