#!/usr/bin/env bash
# What the tool says is what it did: "Saved" and "Wrote" only for files written, a failed save
# or processing step exits 1 and writes nothing, Ctrl-C exits 130, the output's name chooses
# its format.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home CORVEX_SIM="readout-ms=0"
unset CORVEX_CAMERA
fail() { echo "FAIL: $*" >&2; exit 1; }
# status CMD...: runs it, output in $work/out and $work/err, exit status in $status.
status() {
  status=0
  timeout 20 "$@" > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -ne 124 ] || fail "hung: $*"
}

# A full disk: files are limited to 250 kB, more than the display bitmap of a grey frame and
# less than its FITS file. Every quick save fails: nothing is claimed and the run fails.
status bash -c "trap '' XFSZ; ulimit -f 250; exec \"\$0\" \"\$@\"" \
  "$cli" capture --simulate --virtual-clock --exposure 1q --count 2 --continuous --save
[ "$status" -eq 1 ] || fail "full disk: exit status $status"
grep -q "Saved" "$work/out" && fail "full disk: a save claimed: $(cat "$work/out")"
grep -q "Unable to create file, check disk space" "$work/err" || fail "full disk: $(cat "$work/err")"
grep -q "2 of 2 frames could not be saved" "$work/err" || fail "full disk: $(cat "$work/err")"

# CORVEX_HOME a regular file: the autosave directory cannot exist; refused before exposing.
touch "$work/home-file"
CORVEX_HOME=$work/home-file status "$cli" capture --simulate --virtual-clock --exposure 1q --save
[ "$status" -eq 2 ] || fail "CORVEX_HOME a file: exit status $status"
grep -q "cannot save into the autosave directory" "$work/err" || fail "home file: $(cat "$work/err")"

# Without --save or -o the run warns that it keeps nothing; with -o it keeps the final frame.
status "$cli" capture --simulate --virtual-clock --exposure 1q
[ "$status" -eq 0 ] && grep -q "no frame of this run is kept" "$work/err" || fail "no --save warning"
status "$cli" capture --simulate --virtual-clock --exposure 1q --count 2 --colour -o "$work/final.fit"
[ "$status" -eq 0 ] || fail "capture -o: $(cat "$work/err")"
grep -q "no frame of this run is kept" "$work/err" && fail "capture -o warned"
[ "$(stat -c %s "$work/final.fit")" = 748160 ] || fail "capture -o: the colour frame"
grep -q "Wrote .*final.fit (FITS, with colour planes)" "$work/out" || fail "capture -o: $(cat "$work/out")"

# Ctrl-C ends an exposure: 130, "The run was cancelled" on stderr, nothing saved or written.
cp "$work/final.fit" "$work/keep.fit"
"$cli" snap --simulate --exposure 60s -o "$work/final.fit" > "$work/out" 2> "$work/err" &
pid=$!
sleep 1
kill -INT "$pid"
snap=0
wait "$pid" || snap=$?
[ "$snap" -eq 130 ] || fail "snap Ctrl-C: exit status $snap"
cmp -s "$work/keep.fit" "$work/final.fit" || fail "snap Ctrl-C wrote the file"
"$cli" capture --simulate --exposure 60s --save > "$work/out" 2> "$work/err" &
pid=$!
sleep 1
kill -INT "$pid"
capture=0
wait "$pid" || capture=$?
[ "$capture" -eq 130 ] || fail "capture Ctrl-C: exit status $capture"
grep -q "The run was cancelled" "$work/err" || fail "capture Ctrl-C: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "capture Ctrl-C printed: $(cat "$work/out")"

# The output's name chooses the writer; .fts is FITS and .tif a TIFF.
"$cli" process "$work/keep.fit" -o "$work/p.fts" --op invert > /dev/null 2>&1
[ "$(stat -c %s "$work/p.fts")" = 748160 ] || fail "process .fts"
"$cli" process "$work/keep.fit" -o "$work/p.TIF" --op mirror > /dev/null 2>&1
[ "$(head -c 4 "$work/p.TIF" | od -An -c | tr -d ' ')" = 'II*\0' ] || fail "process .TIF"
"$cli" convert "$work/keep.fit" "$work/~raw" > /dev/null
[ "$(stat -c %s "$work/~raw")" = 741240 ] || fail "convert to native raw"

# A processing step that cannot be done writes nothing (an earlier file stays) and exits 1.
status "$cli" snap --simulate --exposure 1q -o "$work/mono.fit"
cp "$work/keep.fit" "$work/p.fit"
for op in synth balance-histogram; do
  input=$work/keep.fit
  [ "$op" = synth ] || input=$work/mono.fit
  status "$cli" process "$input" -o "$work/p.fit" --op invert --op "$op"
  [ "$status" -eq 1 ] || fail "process --op $op: exit status $status"
  grep -q "\"$op\" failed" "$work/err" || fail "process --op $op: $(cat "$work/err")"
  grep -q "Wrote" "$work/out" && fail "process --op $op claims a file"
  cmp -s "$work/keep.fit" "$work/p.fit" || fail "process --op $op wrote the file"
done
grep -q "Image not Colour Converted" "$work/err" || fail "colour step message: $(cat "$work/err")"
echo "honest results OK"
