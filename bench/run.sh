#!/bin/sh
# Measures Orvane Light on loopback with bench/loadgen, beside nginx serving the same files.
# Every run is bounded in requests and seconds. Run as root from anywhere:  sh bench/run.sh
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh nginx-light

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF -DORVANE_GUI=OFF >/dev/null
cmake --build build-bench >/dev/null
g++ -O2 -std=c++20 -o build-bench/loadgen bench/loadgen.cpp

site=$(mktemp -d)
chmod 755 "$site"  # nginx workers read it as another user
trap 'kill $server $nginx 2>/dev/null || true; rm -rf "$site"' EXIT
mkdir -p "$site/docs/files" "$site/system"
printf '<html><body><h1>%%server-name%%</h1><p>%%date%% %%time%% %%filename%%</p></body></html>\n' >"$site/docs/page.html"
printf '<html><body>%%counter%%</body></html>\n' >"$site/docs/count.html"
head -c 10240 /dev/urandom >"$site/docs/small.bin"
head -c 10485760 /dev/urandom >"$site/docs/large.bin"
for i in $(seq 1 200); do echo "$i" >"$site/docs/files/file$i.txt"; done
printf '[Server]\nPort=18080\nMaxConnect=500\n' >"$site/server.cfg"

./build-bench/orvane-light --headless --app-dir "$site" >/dev/null &
server=$!
cat >"$site/nginx.conf" <<CONF
worker_processes 1;
pid $site/nginx.pid;
error_log $site/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  server { listen 127.0.0.1:18081; root $site/docs; autoindex on; }
}
CONF
nginx -c "$site/nginx.conf" -g 'daemon off;' &
nginx=$!
sleep 1

load() { ./build-bench/loadgen "$@" 30; }
echo "== Orvane Light (one process, one thread)"
echo "page with tags        $(load 18080 /page.html 50 20000)"
echo "page with counter     $(load 18080 /count.html 50 5000)"
echo "10 KiB file           $(load 18080 /small.bin 50 20000)"
echo "10 MiB file           $(load 18080 /large.bin 8 200)"
echo "listing of 200 files  $(load 18080 /files/ 50 5000)"
echo "not found             $(load 18080 /missing.html 50 20000)"
echo "== nginx (one worker), same files"
echo "page                  $(load 18081 /page.html 50 20000)"
echo "10 KiB file           $(load 18081 /small.bin 50 20000)"
echo "10 MiB file           $(load 18081 /large.bin 8 200)"
echo "listing of 200 files  $(load 18081 /files/ 50 5000)"
