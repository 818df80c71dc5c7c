#!/usr/bin/env bash
# corvex-cli goto on an INDI mount: the INDI library's telescope simulator under an indiserver
# of this test's own (free port, private HOME and socket). A Messier go-to is followed to its
# end, NGC numbers are refused with their message, and a server that is not there fails.
set -euo pipefail
cli=$1
work=$(mktemp -d)
fail() { echo "FAIL: $*" >&2; [ -f "$work/server.log" ] && cat "$work/server.log" >&2; exit 1; }
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
HOME=$work setsid indiserver -p "$port" -u "$work/indi.sock" indi_simulator_telescope \
  > "$work/server.log" 2>&1 &
server=$!
trap 'kill -- -$server 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
export CORVEX_HOME=$work/home
indi=(--method indi --indi "localhost:$port" --mount "Telescope Simulator")

# The simulator lags in RA by its slew time at the sidereal rate (see the INDI mount tests).
out=$(timeout 90 "$cli" goto "${indi[@]}" --messier 42) || fail "goto M42: $out"
grep -q "^Info from Scope: M42 going to RA 05h3[56]m" <<<"$out" || fail "the go-to's text: $out"
grep -q "^Mount at RA 05h3[5-8]m..s Dec -05 2" <<<"$out" || fail "where the mount ended: $out"

set +e
err=$(timeout 30 "$cli" goto "${indi[@]}" --cngc 224 2>&1 >/dev/null)
code=$?
set -e
[ "$code" = 2 ] || fail "an NGC number over INDI exits 2, not $code"
grep -q "NGC objects are not available with an INDI mount" <<<"$err" || fail "NGC: $err"

set +e
err=$(timeout 30 "$cli" goto --method indi --indi "localhost:1" --messier 31 2>&1 >/dev/null)
code=$?
set -e
[ "$code" = 1 ] || fail "no server exits 1, not $code"
grep -q "Cannot reach the INDI server at localhost:1" <<<"$err" || fail "no server: $err"

set +e
timeout 30 "$cli" goto --method indi --indi "no port:x" --messier 31 > /dev/null 2>&1
code=$?
set -e
[ "$code" = 2 ] || fail "a bad address is a usage error, not $code"
echo ok
