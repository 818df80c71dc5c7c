#!/usr/bin/env bash
# corvex-cli capture and focus on the simulated camera and simulated time.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$cli" capture --simulate --virtual-clock --count 3 --exposure 2s --colour --save 2>/dev/null)
grep -q "Saved .*/autosave/IMG3.FIT" <<<"$out" || fail "three frames saved"
[ "$(stat -c %s "$CORVEX_HOME/autosave/IMG3.FIT")" = 748160 ] || fail "colour FITS saved"
out=$("$cli" capture --simulate --virtual-clock --exposure 5t --save 2>/dev/null)
grep -q "IMG4.FIT" <<<"$out" || fail "the counter survives in the settings file"
info=$("$cli" info "$CORVEX_HOME/autosave/IMG4.FIT")
grep -q "EXPTIME *0.5" <<<"$info" || fail "exposure time in the header"

# Both formats: one number per frame, and every file reported.
out=$("$cli" capture --simulate --virtual-clock --count 2 --exposure 2s --save --format both \
      2>/dev/null)
for n in 5 6; do
  grep -q "Saved .*/autosave/IMG$n.FIT\$" <<<"$out" || fail "IMG$n.FIT reported"
  grep -q "Saved .*/autosave/IMG$n.fits\$" <<<"$out" || fail "IMG$n.fits reported"
done
info=$("$cli" info "$CORVEX_HOME/autosave/IMG6.fits")
grep -q "EXPTIME *4$" <<<"$info" || fail "the summed exposure time in the standard header"
out=$("$cli" capture --simulate --virtual-clock --exposure 2s --save --format standard 2>/dev/null)
grep -q "Saved .*/autosave/IMG7.fits" <<<"$out" || fail "standard only"
[ ! -e "$CORVEX_HOME/autosave/IMG7.FIT" ] || fail "standard only wrote a native file"

out=$("$cli" focus --simulate --virtual-clock --frames 3 --auto-exposure --exposure 1h)
grep -q "frame 3: peak [0-9]*, exposure 40 ms" <<<"$out" || fail "focus auto-exposure: $out"
# Each frame's brightest star measured beside its peak.
out=$("$cli" focus --simulate --virtual-clock --frames 2 --exposure 5t)
[ "$(grep -c "^frame [12]: peak [0-9]*, exposure 500 ms, HFR [0-9.]* px, FWHM [0-9.]* px$" \
   <<<"$out")" -eq 2 ] || fail "focus widths: $out"

for bad in "capture --simulate --exposure 0s" "capture --simulate --guide-star 5" \
           "focus --simulate --exposure 2m" "focus --simulate --window 400,10"; do
  if "$cli" $bad > /dev/null 2>&1; then fail "accepted: $bad"; fi
done
echo "capture commands OK"
