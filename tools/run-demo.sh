#!/usr/bin/env bash
# Installs what is needed when missing, builds Orvel, lays the demo store
# out in a working directory outside the source tree and serves it with
# lighttpd on 127.0.0.1 (port 8080, or the next free one).
#   ORVEL_DEMO_DIR  where to lay the store out (default: /tmp/orvel-demo)
#   ORVEL_DEMO_PORT first port to try (default: 8080)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-missing.sh cmake:cmake ninja:ninja-build g++:g++ /usr/sbin/lighttpd:lighttpd \
  /usr/include/openssl/sha.h:libssl-dev
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build orvel

dir=${ORVEL_DEMO_DIR:-${TMPDIR:-/tmp}/orvel-demo}
port=${ORVEL_DEMO_PORT:-8080}
if [ -f "$dir/lighttpd.pid" ]; then kill "$(cat "$dir/lighttpd.pid")" 2>/dev/null || true; sleep 0.5; fi
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done

bash tools/demo-layout.sh "$dir" "$port" build/orvel
"$lighttpd" -f "$dir/lighttpd.conf"

echo
echo "The demo store is running: http://127.0.0.1:$port/cgi-bin/orvel"
echo "(store files in $dir; stop it with: kill \$(cat $dir/lighttpd.pid))"
