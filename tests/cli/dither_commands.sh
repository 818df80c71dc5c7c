#!/usr/bin/env bash
# corvex-cli capture --dither: a self-guided series dithered on the simulated observatory and
# simulated time, corvex.conf's dither settings, and the refusals.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
fail() { echo "FAIL: $*" >&2; exit 1; }
star=254,129  # the simulated sky's bright star, in the stored frame's pixels
series=(capture --simulate --virtual-clock --exposure 10s --self-guide --guide-star "$star")

# Between the frames of the series, not after the last; each dither settles and says so.
err=$("$cli" "${series[@]}" --count 3 --dither 4 --save 2>&1 >/dev/null) || fail "series: $err"
[ "$(grep -c '^Dither [+-][024], [+-][024] px: settled in [0-9.]* s (error 0\.[0-9]* px)$' \
   <<<"$err")" -eq 2 ] || fail "two dithers of at most 4 px, settled: $err"
[ -e "$CORVEX_HOME/autosave/IMG3.FIT" ] || fail "three frames saved"
# The same seed, the same dithers.
again=$("$cli" "${series[@]}" --count 3 --dither 4 -o "$work/last.fit" 2>&1 >/dev/null)
[ "$(grep '^Dither [+-]' <<<"$err" | cut -d: -f1)" = \
  "$(grep '^Dither [+-]' <<<"$again" | cut -d: -f1)" ] ||
  fail "dithers differ between two runs of one seed"

# corvex.conf turns it on with its own amount; a settle time the timeout cuts short goes on
# to the next exposure with a note, and the run still succeeds.
mkdir -p "$CORVEX_HOME/autosave"
printf 'dither.enabled = yes\ndither.amount = 2\ndither.settle_time = 300\ndither.settle_timeout = 10\n' \
  > "$CORVEX_HOME/autosave/corvex.conf"
err=$("$cli" "${series[@]}" --count 2 -o "$work/t.fit" 2>&1 >/dev/null) || fail "timeout: $err"
grep -q '^Dither [+-][02], [+-][02] px: guiding did not settle under 0.50 px within 10 s' \
  <<<"$err" || fail "timeout note: $err"
# A series that is not guided takes its frames as they are and says why.
err=$("$cli" capture --simulate --virtual-clock --exposure 2s --count 2 --alternative-align \
      -o "$work/u.fit" 2>&1 >/dev/null) || fail "unguided series: $err"
grep -q "Dithering is on, but this series is not guided" <<<"$err" || fail "unguided note: $err"
if grep -q '^Dither [+-]' <<<"$err"; then fail "an unguided series dithered: $err"; fi
rm "$CORVEX_HOME/autosave/corvex.conf"

# Refused before any exposure, with exit 2 and a reason.
before=$(ls "$CORVEX_HOME/autosave" | wc -l)
for bad in "--dither 0" "--dither 1" "--dither 21" "--dither 3.5" "--dither x" "--dither -2" \
           "--dither"; do
  set +e
  msg=$("$cli" "${series[@]}" --count 2 --save $bad 2>&1 >/dev/null)
  code=$?
  set -e
  [ "$code" -eq 2 ] || fail "$bad: exit $code"
  grep -qi "dither" <<<"$msg" || fail "$bad: no reason given: $msg"
done
set +e
msg=$("$cli" capture --simulate --virtual-clock --count 2 --save --dither 4 2>&1 >/dev/null)
code=$?
msg2=$("$cli" capture --simulate --virtual-clock --count 2 --save --self-guide 2>&1 >/dev/null)
code2=$?
set -e
[ "$code" -eq 2 ] && grep -q "add --self-guide" <<<"$msg" || fail "--dither alone: $code $msg"
[ "$code2" -eq 2 ] || fail "--self-guide without --guide-star: exit $code2"
[ "$(ls "$CORVEX_HOME/autosave" | wc -l)" = "$before" ] || fail "a refused run saved a frame"
echo ok
