#!/usr/bin/env bash
# corvex-cli train, guide and goto on the simulated observatory: what they do on simulated
# time, and their exit codes when the camera, the telescope link or the log fails, or the user
# presses Ctrl-C. Every command runs under a timeout: none may hang.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work
export CORVEX_HOME=$work/home
fail() { echo "FAIL: $*" >&2; exit 1; }
run() { timeout 120 "$cli" "$@"; }
# A command that is expected to fail: its exit code in $rc, its output in $out.
attempt() {
  rc=0
  out=$(CORVEX_SIM=${sim:-} timeout 120 "$cli" "$@" 2>&1) || rc=$?
}

out=$(run train --simulate --virtual-clock --camera main 2>&1) || fail "train: $out"
grep -q "slewx =     6, slewy =     6" <<<"$out" || fail "training finds 6 px/s: $out"

# A training that loses a frame or a move fails, says at which step, and leaves the
# calibration in the settings file as it was.
cp "$CORVEX_HOME/autosave/Corvex.ini" "$work/calibrated.ini"
for fault in fail-write=12 fail-write=30 short-read=9 disconnect-after=25; do
  sim=$fault attempt train --simulate --virtual-clock --camera main
  [ "$rc" -eq 1 ] || fail "train with $fault: exit $rc: $out"
  grep -q "Training stopped at step [1-8] (.*)\: .*The previous calibration is kept" <<<"$out" ||
    fail "train with $fault does not say where it stopped: $out"
  cmp -s "$CORVEX_HOME/autosave/Corvex.ini" "$work/calibrated.ini" ||
    fail "train with $fault changed the settings file"
done
sim=disconnect-after=40 attempt train --simulate --virtual-clock --camera guider
[ "$rc" -eq 1 ] || fail "guider train with a dead camera: exit $rc: $out"

# A guiding run: the CSV log of its corrections and the closing line with the true offsets.
check_guiding() {
  local name=$1; shift
  local log=$work/$name.csv
  local out
  out=$(run guide --simulate --virtual-clock "$@" --minutes 3 --log "$log" 2>/dev/null) ||
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
# A guider turned by only a few degrees, and a mirrored one, trained and guided.
CORVEX_SIM=guider-rotation=10 check_guiding guider10 --camera guider --train
CORVEX_SIM=guider-rotation=200,guider-mirror=1 check_guiding mirrored --camera guider --train
# One failed write while guiding with the guider is one frame lost, not a runaway.
CORVEX_SIM=fail-write=140 check_guiding guider-fault --camera guider

# A camera that stops answering ends guiding after a few frames, with a message.
for camera in main guider; do
  sim=disconnect-after=120 attempt guide --simulate --virtual-clock --camera $camera --minutes 3
  [ "$rc" -eq 1 ] || fail "guide --camera $camera on a dead camera: exit $rc"
  grep -qE "Guiding stopped - no frame came from the camera 10 times in a row|may still be moving" \
    <<<"$out" || fail "guide --camera $camera on a dead camera: $out"
done

# A log that cannot be written (a full disk) is reported, and the command fails.
attempt guide --simulate --virtual-clock --camera main --minutes 1 --log /dev/full
[ "$rc" -eq 1 ] || fail "guide with a full log disk: exit $rc"
grep -q "cannot write" <<<"$out" || fail "guide with a full log disk: $out"

# Ctrl-C: honoured at once by train, and in the first seconds of guide (real time here). It
# is pressed as soon as the guide star has been picked. timeout runs in the foreground so that
# the press reaches the program once: a second press would end it at once, as a user's does.
interrupt() {
  CORVEX_SIM=readout-ms=100 timeout --foreground 30 "$cli" "$@" --simulate --exposure 1t >"$work/int.out" 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    grep -q "x position" "$work/int.out" && break
    sleep 0.1
  done
  kill -INT "$pid"
  local started=$SECONDS
  rc=0
  wait "$pid" || rc=$?
  [ $((SECONDS - started)) -le 5 ] || fail "Ctrl-C in $1 took $((SECONDS - started)) s"
}
interrupt train --camera guider --training-seconds 1
[ "$rc" -eq 130 ] || fail "Ctrl-C in train: exit $rc: $(cat "$work/int.out")"
# The press lands during the training (it names the step) or, on a busy machine, just before it.
grep -qE "Training cancelled at step|corvex-cli: cancelled" "$work/int.out" ||
  fail "Ctrl-C in train: $(cat "$work/int.out")"
interrupt guide --camera main --minutes 10
[ "$rc" -eq 130 ] || fail "Ctrl-C in guide: exit $rc: $(cat "$work/int.out")"

out=$(run goto --simulate --messier 31 2>&1) || fail "goto M31: $out"
grep -q "^Info from Scope: SIM M0031" <<<"$out" || fail "goto M31 info: $out"
# A go-to whose commands did not get through fails (the go-to sends six requests).
for fault in fail-write=1 fail-write=4 disconnect-after=3 short-read=2; do
  sim=$fault attempt goto --simulate --messier 31
  [ "$rc" -eq 1 ] || fail "goto with $fault: exit $rc: $out"
done
expect_refused() {
  local text=$1; shift
  local rc
  attempt goto --simulate "$@"
  [ "$rc" -eq 2 ] || fail "goto $*: exit $rc"
  grep -qF "$text" <<<"$out" || fail "goto $*: $out"
}
expect_refused "Object out of range - try again" --messier 111
expect_refused "Invalid Co-ordinates set." --ra 24:00 --dec 10:00
expect_refused "unknown planet \"Vulcan\"" --planet Vulcan
expect_refused "excludes --cngc" --messier 31 --cngc 224
# Quiet drops the progress, verbose shows each error; the two together are refused.
out=$(run guide --simulate --virtual-clock --minutes 0.5 --quiet 2>&1) || fail "quiet: $out"
grep -q "GUIDING" <<<"$out" && fail "quiet guide showed its progress: $out"
grep -q "^rms_ra_px=" <<<"$out" || fail "quiet guide lost its result: $out"
out=$(run guide --simulate --virtual-clock --minutes 0.5 --verbose --beep 2>&1) || fail "verbose: $out"
grep -q "GUIDING" <<<"$out" || fail "guide without progress: $out"
[ "$(grep -c "^ *[0-9.]* s  dx *[-+][0-9.]* px  dy *[-+][0-9.]* px$" <<<"$out")" -gt 10 ] \
  || fail "verbose guide: $out"
attempt guide --simulate --quiet --verbose
[ "$rc" -eq 2 ] || fail "--quiet with --verbose: exit $rc"
echo "guide commands OK"
