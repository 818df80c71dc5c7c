#!/usr/bin/env bash
# `cmake --install` puts the driver beside the other programs and its description where INDI
# clients look for drivers, naming the device the driver defines.
# Usage: install_test.sh <build dir> <python3>
set -euo pipefail
build=$1
python=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null
[ -x "$prefix/bin/indi_corvex_ccd" ] || fail "bin/indi_corvex_ccd not installed"
xml=$prefix/share/indi/indi_corvex.xml
[ -f "$xml" ] || fail "share/indi/indi_corvex.xml not installed"
"$python" -I - "$xml" <<'PY' || fail "driver description"
import sys
import xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
assert root.tag == "driversList"
group = root.find("devGroup")
assert group.get("group") == "CCDs", group.get("group")
driver = group.find("device/driver")
assert driver.text.strip() == "indi_corvex_ccd" and driver.get("name") == "Corvex CCD"
PY
echo "install: ok"
