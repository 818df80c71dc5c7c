#!/usr/bin/env bash
# Camera faults under every camera command, on the simulator's injected faults: no frame from
# a failed readout reaches a file (a file already there stays byte for byte), no command
# hangs, and the exit status is 1.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
unset CORVEX_CAMERA CORVEX_SIM
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs one command on the simulator with CORVEX_SIM=$fault; sets $status, keeps its output in
# $work/out and $work/err. A command that runs into the timeout has hung.
run() {
  local fault=$1; shift
  status=0
  CORVEX_SIM="readout-ms=0,$fault" timeout 20 "$cli" "$@" --simulate --virtual-clock \
    > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -ne 124 ] || fail "hung: $fault $*"
}
expect_failed() {
  [ "$status" -eq 1 ] || fail "$1: exit status $status, not 1: $(cat "$work/err")"
}

# Good files to be overwritten, made without a fault.
run "" snap --exposure 1q -o "$work/good.fit"
[ "$status" -eq 0 ] || fail "snap without a fault: $(cat "$work/err")"
run "" guider-snap --exposure 1h -o "$work/good.pgm"
[ "$status" -eq 0 ] || fail "guider-snap without a fault: $(cat "$work/err")"

# Each fault hits the command's readout: its request (the Nth write), the reply (the Nth read),
# or the link as the request goes out. A snap sends two clears before its readout, a guider
# snap a dummy readout and two clears.
for fault in fail-write=3 short-read=1 disconnect-after=2 fail-write=1; do
  cp "$work/good.fit" "$work/frame.fit"
  run "$fault" snap --exposure 1q -o "$work/frame.fit"
  expect_failed "snap $fault"
  cmp -s "$work/good.fit" "$work/frame.fit" || fail "snap $fault changed the file"
  grep -q "Wrote" "$work/out" && fail "snap $fault claims a file"

  cp "$work/good.fit" "$work/frame.fit"
  run "$fault" capture --exposure 1q -o "$work/frame.fit"
  expect_failed "capture -o $fault"
  cmp -s "$work/good.fit" "$work/frame.fit" || fail "capture -o $fault changed the file"
done
for fault in fail-write=4 short-read=2 disconnect-after=3 short-read=1; do
  cp "$work/good.pgm" "$work/frame.pgm"
  run "$fault" guider-snap --exposure 1h -o "$work/frame.pgm"
  expect_failed "guider-snap $fault"
  cmp -s "$work/good.pgm" "$work/frame.pgm" || fail "guider-snap $fault changed the file"
done

# Quick saves: the autosave directory holds an earlier frame; a run whose readout fails adds
# nothing, changes nothing and claims nothing.
mkdir -p "$CORVEX_HOME/autosave"
cp "$work/good.fit" "$CORVEX_HOME/autosave/IMG1.FIT"
snapshot() { (cd "$CORVEX_HOME/autosave" && ls && cat IMG*.FIT | md5sum); }
before=$(snapshot)
for fault in fail-write=3 short-read=1 disconnect-after=2; do
  run "$fault" capture --exposure 1q --save
  expect_failed "capture --save $fault"
  [ "$(snapshot)" = "$before" ] || fail "capture --save $fault changed the autosave directory"
  grep -q "Saved" "$work/out" && fail "capture --save $fault claims a save"
  grep -q "camera fault" "$work/err" || fail "capture --save $fault: $(cat "$work/err")"
done

# A series that fails at its second readout keeps the first frame and says so.
rm -rf "$CORVEX_HOME"
run short-read=2 capture --exposure 1q --count 3 --continuous --save
expect_failed "series short-read=2"
[ "$(grep -c "^Saved" "$work/out")" -eq 1 ] || fail "series: $(cat "$work/out")"
[ -e "$CORVEX_HOME/autosave/IMG1.FIT" ] && [ ! -e "$CORVEX_HOME/autosave/IMG2.FIT" ] ||
  fail "series: wrong files saved"

# Focus frames are not saved, but a frame read over a failed link is not shown either: focus
# mode stops at once.
for fault in fail-write=3 short-read=1 disconnect-after=2; do
  run "$fault" focus --exposure 1q --frames 3
  expect_failed "focus $fault"
  grep -q "^frame" "$work/out" && fail "focus $fault showed a frame"
done
run short-read=2 focus --exposure 1q --frames 3
expect_failed "focus short-read=2"
[ "$(grep -c "^frame" "$work/out")" -eq 1 ] || fail "focus: $(cat "$work/out")"

# Garbage on the serial ports does not reach the camera's frames: those commands still work.
run garbage-serial=1 snap --exposure 1q -o "$work/serial.fit"
[ "$status" -eq 0 ] && [ "$(stat -c %s "$work/serial.fit")" = 303040 ] || fail "garbage-serial snap"
echo "camera faults OK"
