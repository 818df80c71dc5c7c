#!/usr/bin/env bash
# Command lines the tool refuses: each exits 2 with a message naming what is wrong, before any
# work (no exposure, no file written), and --help documents the exit codes.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home CORVEX_SIM="readout-ms=0"
unset CORVEX_CAMERA
fail() { echo "FAIL: $*" >&2; exit 1; }

# refused "TEXT" ARGS...: exit 2, TEXT in the message, no readout, nothing in $work/out.
refused() {
  local text=$1; shift
  local status=0
  timeout 20 "$cli" "$@" > /dev/null 2> "$work/err" || status=$?
  [ "$status" -eq 2 ] || fail "$*: exit status $status, not 2: $(cat "$work/err")"
  grep -qF -- "$text" "$work/err" || fail "$*: no \"$text\" in: $(cat "$work/err")"
  grep -q "READ QZ CAMERA" "$work/err" && fail "$*: read the camera"
  [ -z "$(ls -A "$work/out")" ] || fail "$*: wrote $(ls "$work/out")"
}
mkdir "$work/out"
o=$work/out/x.fit

# Numbers: NaN, infinities, trailing junk, other bases, ranges; pairs of exactly two.
refused '"nan" is not a number' guide --simulate --minutes nan
refused '"inf" is not a number' guide --simulate --minutes inf
refused '"0x10" is not a whole number' capture --simulate --count 0x10
refused '"3x" is not a whole number' capture --simulate --count 3x
refused '"1000" is not a whole number from 1 to 999' capture --simulate --count 1000
refused 'is not X,Y' capture --simulate --guide-star -2147483648,-2147483648
refused 'is not X,Y' capture --simulate --guide-star 1,2,3
refused 'is not X,Y' focus --simulate --window 400,10
refused 'is not X,Y with X from 0 to 499' guide --simulate --camera guider --star 505,10
refused 'is not a whole number from 1 to 9' export "$o" --tiff "$work/out/x.tif" --saturation 4.0
refused 'is not a number from 1 to 50' export "$o" --bmp "$work/out/x.bmp" --display-stretch nan
refused 'is not two whole numbers' goto --simulate --ra 5:35x --dec 1:00

# Exposures: per camera, no clamping, no wrapping.
refused 'minutes go from 1 to 90' snap --simulate --exposure 99999m -o "$o"
refused 'tenths go from 1 to 100' guider-snap --simulate --exposure 65537t -o "$work/out/g.pgm"
refused 'is not an exposure' guider-snap --simulate --exposure 5q -o "$work/out/g.pgm"
refused 'is not an exposure' snap --simulate --exposure 0s -o "$o"
refused 'is not an exposure' snap --simulate --exposure 5x -o "$o"
refused 'is not an exposure' focus --simulate --exposure 2m
refused 'seconds go from 1 to 11' guide --simulate --camera main --exposure 12s
refused 'is not a whole number from 5 to 8' guider-snap --simulate --gain 9 -o "$work/out/g.pgm"

# The simulator's settings, from options and from the environment.
refused '--sim-fwhm: "nan" is not a number' snap --simulate --sim-fwhm nan -o "$o"
refused 'bad simulator setting "fwhm=1e300"' snap --simulate --sim-fwhm 1e300 -o "$o"
refused 'bad simulator setting "backlash=-3"' snap --simulate --sim-backlash -3 -o "$o"
refused '"1,2,3" is not two numbers' snap --simulate --sim-drift 1,2,3 -o "$o"
CORVEX_SIM="fwhm=inf" refused 'bad simulator setting "fwhm=inf"' snap --simulate -o "$o"

# Outputs: the name chooses the format; what cannot be written is refused before the exposure.
refused 'no output file named' snap --simulate --exposure 1q -o ""
refused 'cannot write ".png" files' snap --simulate --exposure 1q -o "$work/out/x.png"
refused '".fit" has no name before its extension' snap --simulate --exposure 1q -o "$work/out/.fit"
refused 'is a directory' snap --simulate --exposure 1q -o "$work/out"
refused 'no directory' snap --simulate --exposure 1q -o "$work/missing/x.fit"
touch "$work/file"
refused 'no directory' snap --simulate --exposure 1q -o "$work/file/x.fit"
refused 'a PGM file is named *.pgm' guider-snap --simulate --exposure 1h -o "$work/out/g.fit"
refused 'a TIFF file is named *.tif or .tiff' export "$o" --tiff "$work/out/x.fit"
refused 'cannot write ".png" files' process "$o" -o "$work/out/x.png" --op invert
refused 'cannot write ".png" files' convert "$o" "$work/out/x.png"
refused 'is not a regular file' snap --simulate --exposure 1q -o /dev/null

# Calibration files are checked before the first exposure, and the reason is named.
refused "$work/missing.def: not found" capture --simulate --dark-subtract --dark "$work/missing.def" --save
head -c 303040 /dev/zero > "$work/frame.fit"
refused 'is not a native raw file (303040 bytes)' capture --simulate --dark-subtract --dark "$work/frame.fit"
refused "dark.def: not found" capture --simulate --dark-subtract
refused '--dark requires --dark-subtract' capture --simulate --dark "$work/frame.fit"
refused "$work/missing.def not found" process "$work/frame.fit" -o "$o" --op "dark:$work/missing.def"
refused "is not an image file" process "$work/frame.fit" -o "$o" --op "flat:$work/file"
refused "not found" process "$work/frame.fit" -o "$o" --op "merge:$work/none.fit:1,1:1,1"
[ ! -e "$CORVEX_HOME/autosave" ] || fail "a refused capture made the autosave directory"

# CLI11's own errors use the same code; --help says what the codes mean.
refused 'The following argument was not expected' snap --simulate --nonsense
refused 'A subcommand is required'
refused '--output is required' guider-snap --simulate
help=$("$cli" --help)
grep -q "^  2    the command line was refused before any work" <<<"$help" || fail "--help: $help"
grep -q "^  130  cancelled by Ctrl-C" <<<"$help" || fail "--help: $help"
"$cli" snap --help > /dev/null || fail "snap --help"
echo "usage errors OK"
