#!/usr/bin/env bash
# corvex-cli info, convert and settings as a user runs them, on files made here.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home

fail() { echo "FAIL: $*" >&2; exit 1; }

# A native raw frame survives raw -> FITS -> raw byte for byte, in both FITS encodings.
head -c 295800 /dev/urandom > "$work/~frame"
for encoding in --signed --unsigned; do
  "$cli" convert "$work/~frame" "$work/frame.fit" $encoding > /dev/null
  [ "$(stat -c %s "$work/frame.fit")" = 303040 ] || fail "FITS length"
  "$cli" convert "$work/frame.fit" "$work/~back" > /dev/null
  cmp -s "$work/~frame" "$work/~back" || fail "raw round trip $encoding"
done
"$cli" info "$work/frame.fit" > "$work/info.txt"
grep -q '^Kind: *FITS image, 303040 bytes' "$work/info.txt" || fail "info kind"
grep -q '^Encoding: *unsigned' "$work/info.txt" || fail "info encoding"
grep -q "INSTRUME *'Quellmark CCD'" "$work/info.txt" || fail "info instrument"
grep -q '^Samples: *min [0-9]*, max [0-9]*, mean' "$work/info.txt" || fail "info samples"

# Converting FITS to FITS keeps the encoding it was read with.
"$cli" convert "$work/frame.fit" "$work/again.FITS" > /dev/null
again=$("$cli" info "$work/again.FITS")
grep -q '^Encoding: *unsigned' <<<"$again" || fail "encoding kept"

# Standard FITS: a raw frame survives raw -> native FITS -> standard FITS -> native FITS ->
# raw, pixel for pixel, and info says what the file is.
"$cli" convert "$work/~frame" "$work/native.fit" > /dev/null
"$cli" export "$work/native.fit" --fits "$work/frame.fits" > /dev/null
[ $(( $(stat -c %s "$work/frame.fits") % 2880 )) = 0 ] || fail "standard FITS in whole blocks"
"$cli" convert "$work/frame.fits" "$work/back.fit" > /dev/null
"$cli" convert "$work/back.fit" "$work/~back" > /dev/null
cmp -s "$work/~frame" "$work/~back" || fail "standard FITS round trip"
info=$("$cli" info "$work/frame.fits")
grep -q '^Kind: *standard FITS image' <<<"$info" || fail "info of a standard file"
grep -q '^Geometry: *510 x 290, BITPIX 16' <<<"$info" || fail "info geometry"
# An existing file of another format is no way out of the extension check.
if "$cli" export "$work/native.fit" --fits "$work/frame.tif" 2> /dev/null; then
  fail "export --fits took a .tif name"
fi

# A file that is not an image: the message, a failure, and nothing written.
"$cli" settings --write-defaults > /dev/null
ini=$CORVEX_HOME/autosave/Corvex.ini
[ "$(stat -c %s "$ini")" = 1302 ] || fail "settings length"
if "$cli" convert "$ini" "$work/out.fit" 2> "$work/err.txt"; then fail "convert accepted"; fi
grep -q "You didn't choose a valid QZ File" "$work/err.txt" || fail "convert message"
[ ! -e "$work/out.fit" ] || fail "convert wrote a file"
if "$cli" info "$work/missing.fit" 2> /dev/null; then fail "info accepted a missing file"; fi

"$cli" settings > "$work/settings.txt"
grep -q '^ *lastFileNumber *0 ' "$work/settings.txt" || fail "settings list"
grep -q '^ *autosaveDirectory *"c:\\AUTOSAVE" ' "$work/settings.txt" || fail "autosave dir"
echo "file commands OK"
