#!/usr/bin/env bash
# corvex-cli train, guide and goto on the simulated observatory and simulated time.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work
export CORVEX_HOME=$work/home
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$cli" train --simulate --virtual-clock --camera main 2>&1) || fail "train: $out"
grep -q "slewx =     6, slewy =     6" <<<"$out" || fail "training finds 6 px/s: $out"

# A guiding run: the CSV log of its corrections and the closing line with the true offsets.
check_guiding() {
  local name=$1; shift
  local log=$work/$name.csv
  local out
  out=$("$cli" guide --simulate --virtual-clock "$@" --minutes 3 --log "$log" 2>/dev/null) ||
    fail "$name: guide failed"
  [ "$(head -n 1 "$log")" = "time_s,dx_px,dy_px,ra_dir,ra_ms,dec_dir,dec_ms" ] || fail "$name: CSV header"
  local rows
  rows=$(tail -n +2 "$log" | grep -cE '^[0-9]+\.[0-9]{3},-?[0-9]+\.[0-9]{3},-?[0-9]+\.[0-9]{3},[-ewns],[0-9]+,[-ewns],[0-9]+$' || true)
  [ "$rows" -gt 30 ] || fail "$name: only $rows well-formed rows"
  [ "$rows" -eq "$(($(wc -l < "$log") - 1))" ] || fail "$name: a malformed row"
  local last
  last=$(tail -n 1 <<<"$out")
  grep -qE '^rms_ra_px=[0-9.]+ rms_dec_px=[0-9.]+ unguided_rms_px=[0-9.]+ corrections=[0-9]+$' <<<"$last" ||
    fail "$name: closing line: $last"
  [ "$(sed -E 's/.*corrections=([0-9]+)$/\1/' <<<"$last")" -eq "$rows" ] || fail "$name: one row per correction"
  awk -v line="$last" 'BEGIN {
    n = split(line, f, /[ =]/)
    ra = f[2]; dec = f[4]; unguided = f[6]
    exit !(ra < 0.3 && dec < 0.3 && unguided > 1)
  }' || fail "$name: not held: $last"
}
check_guiding self --camera main
check_guiding guider --camera guider --train

out=$("$cli" goto --simulate --messier 31 2>&1) || fail "goto M31: $out"
grep -q "^Info from Scope: SIM M0031" <<<"$out" || fail "goto M31 info: $out"
expect_refused() {
  local text=$1; shift
  local out
  if out=$("$cli" goto --simulate "$@" 2>&1); then fail "accepted: goto $*"; fi
  grep -qF "$text" <<<"$out" || fail "goto $*: $out"
}
expect_refused "Object out of range - try again" --messier 111
expect_refused "Invalid Co-ordinates set." --ra 24:00 --dec 10:00
expect_refused "unknown planet \"Vulcan\"" --planet Vulcan
echo "guide commands OK"
