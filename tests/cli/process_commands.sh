#!/usr/bin/env bash
# corvex-cli process and export on a simulated frame, as a user runs them.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home CORVEX_SIM="readout-ms=0"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cli" snap --simulate --exposure 2s -o "$work/raw.fit" > /dev/null 2>&1

out=$("$cli" process "$work/raw.fit" -o "$work/a.fit" --op normal:0:200 --op median:2:6 \
      --op gaussian --op undo --op mirror --op "label:M42 test" 2> /dev/null)
grep -q "1. Normal Stretch : max 200 ,min 0" <<<"$out" || fail "history printed"
grep -q "2. Median Filter : rad 2 ,power 0.6" <<<"$out" || fail "median label"
if grep -q "Gaussian" <<<"$out"; then fail "undo removes the last label"; fi
info=$("$cli" info "$work/a.fit")
grep -q "2. Median Filter : rad 2 ,power 0.6" <<<"$info" || fail "labels stored as HISTORY"

"$cli" process "$work/raw.fit" -o "$work/c.fit" --op synth:antialias,weak > /dev/null 2>&1
[ "$(stat -c %s "$work/c.fit")" = 748160 ] || fail "colour FITS with planes"
"$cli" process "$work/raw.fit" -o "$work/~c" --op synth --op balance:2:0:1:3 > /dev/null 2>&1
[ "$(stat -c %s "$work/~c")" = 741240 ] || fail "colour raw with planes"
if "$cli" process "$work/c.fit" -o "$work/x.fit" --op synth > /dev/null 2> "$work/err"; then :; fi
grep -q "Already Colour Converted" "$work/err" || fail "second synthesis refused"

"$cli" process "$work/raw.fit" -o "$work/m.fit" --op "merge:$work/raw.fit:100,100:100,100:average" \
  --op "dark:$work/raw.fit" > /dev/null 2>&1

for bad in "normal:200:100" "power:3.1" "median:4:6" "median:1:11" "unsharp:8:1" "nonsense" \
           "synth:weak,strong" "chromatic:4:0:0:0" "balance:200:0:0" "merge:x:600,1:1,1"; do
  if "$cli" process "$work/raw.fit" -o "$work/bad.fit" --op "$bad" > /dev/null 2>&1; then
    fail "accepted --op $bad"
  fi
done
[ ! -e "$work/bad.fit" ] || fail "a refused operation wrote a file"

"$cli" export "$work/c.fit" --tiff "$work/c.tif" > /dev/null 2>&1
[ "$(stat -c %s "$work/c.tif")" = 569424 ] || fail "colour TIFF"
"$cli" export "$work/raw.fit" --bmp "$work/r.bmp" --qz --display-stretch 5 > /dev/null 2>&1
[ "$(stat -c %s "$work/r.bmp")" = 192054 ] || fail "QZ mono BMP"
if "$cli" export "$work/raw.fit" > /dev/null 2>&1; then fail "export without an output"; fi
echo "process commands OK"
