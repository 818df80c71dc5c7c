#!/usr/bin/env bash
# discover, snap and guider-snap on the simulated camera, as a user runs them.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
export CORVEX_SIM="readout-ms=0"  # the simulated readout takes no time here
unset CORVEX_CAMERA

fail() { echo "FAIL: $*" >&2; exit 1; }

# (Output is taken whole before grep looks at it: grep -q stopping early must not cut the pipe.)
found=$("$cli" discover --simulate)
grep -q "product id: *7E21" <<<"$found" || fail "discover --simulate"
found=$(CORVEX_CAMERA=sim "$cli" discover)
grep -q "Corvex simulator" <<<"$found" || fail "CORVEX_CAMERA=sim"

"$cli" snap --simulate --exposure 5t -o "$work/frame.fit" > /dev/null
"$cli" info "$work/frame.fit" > "$work/info.txt"
grep -q '^Kind: *FITS image, 303040 bytes' "$work/info.txt" || fail "snap FITS"
grep -q '^  EXPTIME *0.5$' "$work/info.txt" || fail "snap exposure time"
"$cli" snap --simulate --exposure 3t --seed 4 --sim-fwhm 3 -o "$work/~frame" > /dev/null
[ "$(stat -c %s "$work/~frame")" = 295800 ] || fail "snap native raw"

# Different seeds give different skies (the same seed gives the same frame only on a clock
# that does not jitter; the unit tests check that on the virtual clock).
"$cli" snap --simulate --exposure 250q --seed 9 -o "$work/a.fit" > /dev/null
"$cli" snap --simulate --exposure 250q --seed 10 -o "$work/b.fit" > /dev/null
if cmp -s "$work/a.fit" "$work/b.fit"; then fail "seeds 9 and 10 gave the same frame"; fi

"$cli" guider-snap --simulate --exposure 5t --gain 7 -o "$work/guider.pgm" > /dev/null
[ "$(head -c 2 "$work/guider.pgm")" = P5 ] || fail "guider PGM header"
[ "$(stat -c %s "$work/guider.pgm")" = $((290000 + 17)) ] || fail "guider PGM size"
"$cli" guider-snap --simulate --exposure 5t --dark "$work/guider.pgm" -o "$work/g2.pgm" > /dev/null

for bad in "snap --simulate --exposure 5x" "snap --simulate --exposure 0s" \
           "guider-snap --simulate --exposure 5q -o $work/g.pgm" \
           "guider-snap --simulate --gain 9 -o $work/g.pgm" \
           "snap --simulate --sim-backlash -3"; do
  if "$cli" $bad > /dev/null 2>&1; then fail "accepted: $bad"; fi
done
if "$cli" guider-snap --simulate --dark "$work/frame.fit" -o "$work/g3.pgm" 2> "$work/err.txt"; then
  fail "accepted a FITS file as guider dark"
fi
grep -q "not a binary PGM file" "$work/err.txt" || fail "dark message"
[ ! -e "$work/g3.pgm" ] || fail "wrote a frame after a refused dark"
echo "camera commands OK"
