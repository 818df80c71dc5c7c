#!/usr/bin/env bash
# Texts from files and from the telescope never reach the terminal raw: a header that moves the
# cursor or retitles the window, or garbage on a serial port, is shown escaped.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home CORVEX_SIM="readout-ms=0"
unset CORVEX_CAMERA
fail() { echo "FAIL: $*" >&2; exit 1; }
# True when the file holds a control byte other than a line break (or a byte above 0x7E that
# is not part of well-formed UTF-8).
raw_controls() { LC_ALL=C grep -qP '[\x00-\x09\x0B-\x1F\x7F]' "$1" || ! iconv -f UTF-8 -t UTF-8 "$1" > /dev/null 2>&1; }

# OBJECT (card 6) and the first HISTORY entry (card 13) of a FITS file carry escape sequences.
head -c 295800 /dev/zero > "$work/~frame"
"$cli" convert "$work/~frame" "$work/frame.fit" > /dev/null
printf "\033]0;owned\007\033[2J\233" | dd of="$work/frame.fit" bs=1 seek=$((5 * 80 + 11)) conv=notrunc status=none
printf "\033[1A\rtext" | dd of="$work/frame.fit" bs=1 seek=$((12 * 80 + 11)) conv=notrunc status=none
"$cli" info "$work/frame.fit" > "$work/info.txt"
raw_controls "$work/info.txt" && fail "info printed control bytes: $(od -c "$work/info.txt" | head)"
grep -qF "OBJECT     '\\x1B]0;owned\\x07\\x1B[2J\\x9B" "$work/info.txt" || fail "OBJECT: $(cat "$work/info.txt")"
grep -qF " 1. \\x1B[1A\\x0Dtext" "$work/info.txt" || fail "HISTORY: $(cat "$work/info.txt")"
"$cli" process "$work/frame.fit" -o "$work/again.fit" --op invert > "$work/out.txt" 2>&1
raw_controls "$work/out.txt" && fail "process printed control bytes"

# An output name with an escape in it is shown escaped too.
name=$(printf "$work/x\033[2J.fit")
"$cli" convert "$work/~frame" "$name" > "$work/out.txt" 2>&1
raw_controls "$work/out.txt" && fail "a file name printed raw"

# Garbage serial replies from the telescope.
for seed in 1 2 3; do
  CORVEX_SIM="readout-ms=0,garbage-serial=1,seed=$seed" timeout 20 \
    "$cli" goto --simulate --messier 31 > "$work/goto.txt" 2>&1 || true
  raw_controls "$work/goto.txt" && fail "goto printed control bytes: $(od -c "$work/goto.txt" | head)"
done
echo "escaped output OK"
