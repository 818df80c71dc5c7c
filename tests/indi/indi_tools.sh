#!/usr/bin/env bash
# The driver from INDI's own command-line tools, as a user types them: start a server with the
# driver on the simulated observatory, connect, expose 1 s, take the frame and read the state
# back. Usage: indi_tools.sh <indi_corvex_ccd> <python3>
set -euo pipefail
driver=$1
python=$2
work=$(mktemp -d)
server=
watcher=
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null || true
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  cat "$work/server.log" >&2 || true
  exit 1
}

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export HOME=$work CORVEX_HOME=$work/Corvex CORVEX_CAMERA=sim
export CORVEX_SIM="seed=3,readout-ms=300"
indiserver -p "$port" -u "$work/indiserver.sock" "$driver" > "$work/server.log" 2>&1 &
server=$!
for _ in $(seq 50); do
  indi_getprop -p "$port" -t 1 "Corvex CCD.CONNECTION.CONNECT" > /dev/null 2>&1 && break
  sleep 0.1
done

indi_setprop -p "$port" "Corvex CCD.CONNECTION.CONNECT=On"
indi_eval -p "$port" -t 10 -w '"Corvex CCD.CONNECTION.CONNECT"==1' || fail "connect"
[ "$(indi_getprop -p "$port" -1 "Corvex CCD.CCD_INFO.CCD_MAX_X")" = 510 ] || fail "CCD_INFO"

# indi_getprop saves a frame it receives as device.property.element.format.
(cd "$work" && exec indi_getprop -p "$port" -m -t 15 "Corvex CCD.CCD1.CCD1" > getprop.log 2>&1) &
watcher=$!
sleep 0.5
indi_setprop -p "$port" "Corvex CCD.CCD_EXPOSURE.CCD_EXPOSURE_VALUE=1"
indi_eval -p "$port" -t 3 -w '"Corvex CCD.CCD_EXPOSURE._STATE"==2' || fail "exposure did not start"
indi_eval -p "$port" -t 10 -w '"Corvex CCD.CCD_EXPOSURE._STATE"==1' || fail "exposure did not end Ok"
frame="$work/Corvex CCD.CCD1.CCD1.fits"
for _ in $(seq 30); do [ -s "$frame" ] && break; sleep 0.1; done
[ -s "$frame" ] || fail "no frame saved by indi_getprop"
"$python" -I -c 'import sys; from astropy.io import fits; h = fits.open(sys.argv[1]); assert h[0].data.shape == (290, 510) and h[0].header["EXPTIME"] == 1.0' "$frame" \
  || fail "the frame is not the 1 s exposure"
[ "$(indi_getprop -p "$port" -1 "Corvex CCD.CCD_EXPOSURE.CCD_EXPOSURE_VALUE")" = 0 ] || fail "countdown"

# A filter slot and the state read back; slot 8 is refused.
indi_setprop -p "$port" "Corvex CCD.FILTER_SLOT.FILTER_SLOT_VALUE=3"
indi_eval -p "$port" -t 3 -w '"Corvex CCD.FILTER_SLOT.FILTER_SLOT_VALUE"==3 && "Corvex CCD.FILTER_SLOT._STATE"==1' \
  || fail "filter slot 3"
indi_setprop -p "$port" "Corvex CCD.FILTER_SLOT.FILTER_SLOT_VALUE=8"
indi_eval -p "$port" -t 3 -w '"Corvex CCD.FILTER_SLOT._STATE"==3' || fail "slot 8 not refused"

indi_setprop -p "$port" "Corvex CCD.CONNECTION.DISCONNECT=On"
indi_eval -p "$port" -t 5 -w '"Corvex CCD.CONNECTION.DISCONNECT"==1' || fail "disconnect"
echo "indi tools: ok"
