#!/usr/bin/env bash
# corvex-cli --json: one object on stdout that a JSON reader takes, whatever the file names
# hold; the human text on stderr; the exit code inside and outside agree.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CORVEX_HOME=$work/home
fail() { echo "FAIL: $*" >&2; exit 1; }
python=/usr/bin/python3

# Reads stdin as one JSON object and checks it with the Python expression $1 on `r`.
check() {
  "$python" -c '
import json, sys
r = json.loads(sys.stdin.read())
sys.exit(0 if eval("(" + sys.argv[1] + ")") else 1)' "$1"
}

out=$("$cli" capture --simulate --virtual-clock --count 2 --exposure 2s --save --json \
      -o "$work/last.fit" 2>"$work/err")
check 'r["command"] == "capture" and r["ok"] and r["exit_code"] == 0 and
       [f.rsplit("/", 1)[1] for f in r["saved"]] == ["IMG1.FIT", "IMG2.FIT"] and
       r["output"].endswith("last.fit")' <<<"$out" || fail "capture: $out"
# The saves are still announced as they happen, on stderr, and name the folder where the files
# really are, not the c:\ form the settings keep.
[ "$(grep -c "^Saved " "$work/err")" -ge 2 ] || fail "capture's progress: $(cat "$work/err")"
grep -qx "Saving Image: into $CORVEX_HOME/autosave" "$work/err" || fail "saving: $(cat "$work/err")"
if grep -qi 'c:\\' "$work/err"; then fail "a c:\\ path shown: $(cat "$work/err")"; fi

out=$("$cli" focus --simulate --virtual-clock --frames 3 --json 2>/dev/null)
check 'len(r["frames"]) == 3 and all(0.5 < f["hfr_px"] < f["fwhm_px"] < 10 for f in r["frames"])
       and r["best_hfr_px"] == min(f["hfr_px"] for f in r["frames"])' <<<"$out" \
  || fail "focus: $out"

# A file name with a quote, a control character and a byte that is not UTF-8.
odd=$work/$'odd"\x01\xff.fit'
cp "$CORVEX_HOME/autosave/IMG1.FIT" "$odd"
out=$("$cli" info --json "$odd" 2>/dev/null)
check 'r["file"].endswith("odd\"\x01\ufffd.fit") and r["columns"] == 512 and
       r["rows"] == 290 and r["header"]["EXPTIME"] == 2 and r["samples"]["max"] > 0' \
  <<<"$out" || fail "info: $out"

out=$("$cli" settings --json 2>/dev/null)
check 'r["settings"]["lastFileNumber"] == "2" and r["settings"]["autosaveDirectory"] == "c:\\AUTOSAVE"
       and r["settings"]["instrument"] == "Quellmark CCD" and r["settings"]["directionTable"] == "ewns"
       and r["autosavePath"] == "'"$CORVEX_HOME"'/autosave"' <<<"$out" || fail "settings: $out"
"$cli" settings | grep -q "^ *autosaveDirectory .*, here $CORVEX_HOME/autosave\$" \
  || fail "settings: where the saves go"

out=$("$cli" train --simulate --virtual-clock --camera guider --json 2>/dev/null)
check 'r["training"]["camera"] == "guider" and abs(r["training"]["ra_angle_deg"] - 30) < 2' \
  <<<"$out" || fail "train: $out"

# Guiding's figures agree with its log: one row per correction, the same RMS along x and y.
out=$("$cli" guide --simulate --virtual-clock --camera main --minutes 2 --json \
      --log "$work/guide.csv" 2>/dev/null)
"$python" - "$out" "$work/guide.csv" <<'PY' || fail "guide: $out"
import csv, json, math, sys
r = json.loads(sys.argv[1])
rows = list(csv.DictReader(open(sys.argv[2])))
m = r["measured"]
assert r["corrections"] == len(rows) > 5, r
assert m["axes"] == "x/y"
for key, column in (("rms_x_px", "dx_px"), ("rms_y_px", "dy_px")):
    rms = math.sqrt(sum(float(row[column]) ** 2 for row in rows) / len(rows))
    assert abs(rms - m[key]) < 0.002, (key, rms, m[key])
assert r["log"].endswith("guide.csv") and r["ok"]
PY

# A failure still gives one object, with the exit code the shell sees.
set +e
out=$("$cli" info --json "$work/missing.fit" 2>/dev/null)
rc=$?
set -e
[ "$rc" -ne 0 ] || fail "info of a missing file succeeded"
check "r['ok'] is False and r['exit_code'] == $rc" <<<"$out" || fail "failed info: $out"
echo "json reports OK"
