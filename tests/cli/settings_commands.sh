#!/usr/bin/env bash
# corvex-cli settings only shows: a damaged, odd or missing settings file is reported and
# never rewritten; writing the defaults over a damaged file keeps a copy of it.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home

fail() { echo "FAIL: $*" >&2; exit 1; }
poke() { printf "$2" | dd of="$ini" bs=1 seek="$1" conv=notrunc status=none; }

"$cli" settings --write-defaults > /dev/null
ini=$CORVEX_HOME/autosave/Corvex.ini
cp "$ini" "$work/defaults"

# A bad background letter, and a telescope method set after it.
poke 20 x
poke 1088 l
cp "$ini" "$work/damaged"
if "$cli" settings > "$work/out.txt" 2> "$work/err.txt"; then fail "a damaged file passed"; fi
cmp -s "$ini" "$work/damaged" || fail "settings rewrote the file"
[ ! -e "$ini.bad" ] || fail "settings wrote a copy"
grep -q 'backgroundColour (byte 20, kept as l)' "$work/err.txt" || fail "the bad field is named"
grep -q '^ *telescopeMethod *l ' "$work/out.txt" || fail "the fields after it are read"

# A few more single-byte changes, checked and unchecked fields alike: never rewritten.
for offset in 0 7 16 23 29 40 1087 1093 1099 1201 1289 1301; do
  cp "$work/defaults" "$ini"
  poke "$offset" '\377'
  cp "$ini" "$work/changed"
  "$cli" settings > /dev/null 2>&1 || true
  cmp -s "$ini" "$work/changed" || fail "settings rewrote the file changed at byte $offset"
  [ ! -e "$ini.bad" ] || fail "settings wrote a copy for byte $offset"
done

# Writing the defaults over a damaged file keeps the damaged one beside it.
cp "$work/damaged" "$ini"
"$cli" settings --write-defaults > /dev/null
cmp -s "$ini.bad" "$work/damaged" || fail "the damaged file is kept as Corvex.ini.bad"
cmp -s "$ini" "$work/defaults" || fail "the defaults are written"

# A FIFO in place of the file is reported at once, not waited on.
rm "$ini"
mkfifo "$ini"
if timeout 10 "$cli" settings > /dev/null 2> "$work/err.txt"; then fail "a FIFO passed"; fi
grep -q 'it is a FIFO, not a regular file' "$work/err.txt" || fail "the FIFO is named"
[ -p "$ini" ] || fail "the FIFO was replaced"

# corvex.conf: listed with the settings; a bad value is named with its line, the command
# fails, and the user's file stays as it was.
rm "$ini"
"$cli" settings --write-defaults > /dev/null
conf=$CORVEX_HOME/autosave/corvex.conf
grep -q '^autosave.format = native$' "$conf" || fail "corvex.conf written with its defaults"
printf '# mine\nautosave.format = Standard\nfuture.key = 3\n' > "$conf"
"$cli" settings > "$work/out.txt" 2> "$work/err.txt" || fail "a sound corvex.conf failed"
grep -q '^ *autosave.format *standard$' "$work/out.txt" || fail "corvex.conf value listed"
grep -q 'line 3: future.key' "$work/err.txt" || fail "an unknown key is named"
printf '# mine\nautosave.format = sideways\nfuture.key = 3\n' > "$conf"
cp "$conf" "$work/conf"
if "$cli" settings > "$work/out.txt" 2> "$work/err.txt"; then fail "a bad value passed"; fi
grep -q 'line 2: autosave.format = "sideways"' "$work/err.txt" || fail "the bad line is named"
grep -q '^ *autosave.format *native$' "$work/out.txt" || fail "the default is used"
cmp -s "$conf" "$work/conf" || fail "settings rewrote corvex.conf"
cmp -s "$ini" "$work/defaults" || fail "Corvex.ini changed with corvex.conf"
