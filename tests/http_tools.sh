#!/bin/bash
# Header mode with real clients: curl resumes a cut download where it stopped, and nginx from
# Debian in front (with docs/nginx-front.conf) caches files, serves ranges, and passes the
# client's address on to the running log.
set -u
binary=${1:?Usage: http_tools.sh ORVANE_BINARY}
conf=$(dirname "$0")/../docs/nginx-front.conf
. "$(dirname "$0")/scriptkit.sh" curl nginx cmp
chmod 755 "$work"  # nginx's workers write its cache there

port=$(free_port)
mkdir -p "$work/app/docs"
printf '[Server]\nPort=%s\nHttpHeaders=1\nTrustedProxy=127.0.0.1\n' "$port" >"$work/app/server.cfg"
head -c 48000000 /dev/urandom >"$work/app/docs/big.bin"
"$binary" --app-dir "$work/app" --headless >"$work/log" 2>&1 &
until_true "curl -s -o /dev/null http://127.0.0.1:$port/" || fail "the server did not start: $(cat "$work/log")"
site=http://127.0.0.1:$port

# A download cut after a part, then resumed: the whole file, byte for byte, from a 206.
curl -s --limit-rate 10M --max-time 1 -o "$work/got" "$site/big.bin"
have=$(stat -c %s "$work/got")
[ "$have" -gt 0 ] && [ "$have" -lt 48000000 ] || fail "the first download was not cut: $have bytes"
code=$(curl -s -C - -w '%{http_code}' -o "$work/got" "$site/big.bin")
[ "$code" = 206 ] || fail "resuming got $code"
cmp "$work/got" "$work/app/docs/big.bin" || fail "the resumed download differs"

# nginx in front, reached from 127.0.0.5 as a client on another machine would.
front=$(free_port)
sed -e "s|/var/cache/nginx/orvane-light|$work/cache|" -e "s|listen 80;|listen 127.0.0.1:$front;|" \
  -e "/listen \[::\]:80;/d" -e "s|127.0.0.1:8080|127.0.0.1:$port|" "$conf" >"$work/front.conf"
cat >"$work/nginx.conf" <<CONF
user $(id -un);
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx.log;
events {}
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  include $work/front.conf;
}
CONF
nginx -c "$work/nginx.conf" -g 'daemon off;' 2>>"$work/nginx.log" &
until_true "curl -s -o /dev/null http://127.0.0.1:$front/" || fail "nginx did not start: $(cat "$work/nginx.log")"
via="curl -s --interface 127.0.0.5"
: >"$work/log"
first=$($via -o /dev/null -D - "http://127.0.0.1:$front/big.bin" | tr -d '\r' | grep -i '^x-cache-status')
second=$($via -o "$work/cached" -D - "http://127.0.0.1:$front/big.bin" | tr -d '\r' | grep -i '^x-cache-status')
[ "$first $second" = "X-Cache-Status: MISS X-Cache-Status: HIT" ] || fail "cache: $first / $second"
cmp "$work/cached" "$work/app/docs/big.bin" || fail "the cached file differs"
code=$($via -r 1000-1999 -w '%{http_code}' -o "$work/part" "http://127.0.0.1:$front/big.bin")
[ "$code" = 206 ] || fail "a range through nginx got $code"
cmp "$work/part" <(tail -c +1001 "$work/app/docs/big.bin" | head -c 1000) || fail "the range differs"
until_true "grep -q 'big.bin' '$work/log'" || fail "nothing logged"
grep -q '^\[127\.0\.0\.5\] *big\.bin *(48000000)$' "$work/log" || fail "the log: $(cat "$work/log")"
[ "$(grep -c big.bin "$work/log")" = 1 ] || fail "nginx did not serve from its cache: $(cat "$work/log")"
echo PASS
