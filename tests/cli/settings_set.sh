#!/usr/bin/env bash
# corvex-cli settings --set: a value the defaults dialog would take is written; anything else
# is refused with exit 2 and the file stays byte for byte; all the assignments or none.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
ini=$CORVEX_HOME/autosave/Corvex.ini
fail() { echo "FAIL: $*" >&2; exit 1; }

# On a fresh home the file is made with the defaults and the change.
"$cli" settings --set telescopeMethod=l --set starMaskRadius=10 --set "object=M 31" > /dev/null \
  || fail "set on a fresh home"
[ "$(stat -c %s "$ini")" = 1302 ] || fail "the settings file's length"
out=$("$cli" settings)
grep -q "telescopeMethod  *l " <<<"$out" || fail "telescopeMethod: $out"
grep -q "starMaskRadius  *10 " <<<"$out" || fail "starMaskRadius: $out"
grep -q 'object  *"M 31" ' <<<"$out" || fail "object: $out"

cp "$ini" "$work/before"
for bad in telescopeMethod=x nosuch=1 starMaskRadius= saturationFactor=12 \
           selfGuideRaHysteresis=21 filterCount=0 guiderRaRate=50 antiAlias=yes \
           "filterNames[1]=Luminance10" "object=it's" directionTable=wens defaultRaAngle=3 \
           noequals; do
  rc=0
  "$cli" settings --set starMaskRadius=12 --set "$bad" > /dev/null 2> "$work/err" || rc=$?
  [ "$rc" -eq 2 ] || fail "$bad: exit $rc"
  grep -q "corvex-cli: " "$work/err" || fail "$bad: no reason given"
  cmp -s "$ini" "$work/before" || fail "$bad changed the file"
done
grep -q "saturationFactor takes a whole number from 1 to 9" <(
  "$cli" settings --set saturationFactor=12 2>&1 || true) || fail "the range is named"
# --set and --write-defaults do not go together.
rc=0
"$cli" settings --set starMaskRadius=12 --write-defaults > /dev/null 2>&1 || rc=$?
[ "$rc" -eq 2 ] || fail "--set with --write-defaults: exit $rc"

# A damaged file is not rewritten from what could be read of it.
printf 'Z' | dd of="$ini" bs=1 seek=20 conv=notrunc status=none
cp "$ini" "$work/damaged"
rc=0
"$cli" settings --set starMaskRadius=12 > /dev/null 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "set over a damaged file: exit $rc"
cmp -s "$ini" "$work/damaged" || fail "the damaged file was rewritten"
echo "settings --set OK"
