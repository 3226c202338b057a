#!/usr/bin/env bash
# Runs the demo store: installs what is missing, builds the program, lays the
# store out (or refreshes it, keeping what shoppers and the merchant made)
# and serves it with lighttpd on 127.0.0.1.  Next to it runs a local SMTP
# sink (aiosmtpd) that takes the store's order mail and writes each message
# as a file into DIR/mail/new; no mail leaves the machine.
#   bash tools/run-demo.sh          start, or restart after a change
#   bash tools/run-demo.sh stop     stop the server and the mail sink
# Settings:
#   ORVEL_DEMO_DIR   where the store lives (default: /tmp/orvel-demo)
#   ORVEL_DEMO_PORT  first port to try (default: the port of the last run,
#                    else 8080); the next free one is taken when it is busy
#   ORVEL_DEMO_USER  the user the server runs as when started as root
#   ORVEL_DEMO_SMTP_PORT  first port to try for the mail sink (default: the
#                    port of the last run, else 8025)
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${ORVEL_DEMO_DIR:-${TMPDIR:-/tmp}/orvel-demo}
pidfile="$dir/lighttpd.pid"
smtp_pidfile="$dir/smtp-sink.pid"
python=/usr/bin/python3

# The pid of the demo's running lighttpd, or nothing.  The pid file alone is
# not trusted: the process must be a lighttpd serving this store.
running_pid() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(tr -dc 0-9 < "$pidfile")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 0
  if tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q "lighttpd.* $dir/lighttpd.conf"; then
    echo "$pid"
  fi
}

# The pid of the demo's running mail sink, or nothing; checked the same way.
running_smtp_pid() {
  [ -f "$smtp_pidfile" ] || return 0
  local pid
  pid=$(tr -dc 0-9 < "$smtp_pidfile")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 0
  if tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q "aiosmtpd.* $dir/mail"; then
    echo "$pid"
  fi
}

stop_pid() {  # PID NAME
  kill "$1"
  # Gone, or a zombie that its parent (init) has not collected yet.
  for _ in $(seq 50); do
    grep -qs '^State:[[:space:]]*[^Z]' "/proc/$1/status" || return 0
    sleep 0.05
  done
  echo "run-demo: $2 (pid $1) did not stop" >&2
  return 1
}

stop_server() {
  local pid
  pid=$(running_pid)
  [ -z "$pid" ] || stop_pid "$pid" lighttpd
  pid=$(running_smtp_pid)
  [ -z "$pid" ] || stop_pid "$pid" "the mail sink"
}

case ${1:-start} in
  stop)
    if [ -z "$(running_pid)$(running_smtp_pid)" ]; then echo "The demo store is not running."; exit 0; fi
    stop_server
    echo "The demo store and its mail sink have stopped (their files stay in $dir)."
    exit 0 ;;
  start) ;;
  *) echo "usage: bash tools/run-demo.sh [start|stop]" >&2; exit 2 ;;
esac

bash tools/demo-layout.sh --check "$dir"
bash tools/install-missing.sh cmake:cmake ninja:ninja-build g++:g++ /usr/sbin/lighttpd:lighttpd \
  /usr/include/openssl/sha.h:libssl-dev msmtp:msmtp \
  /usr/lib/python3/dist-packages/aiosmtpd/__init__.py:python3-aiosmtpd
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)

# Configure once; afterwards ninja alone brings the program up to date (and
# re-runs cmake by itself when a CMakeLists.txt changed).
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C build orvel

# The same port as last time, so that open pages keep working after a restart.
port=${ORVEL_DEMO_PORT:-}
if [ -z "$port" ] && [ -f "$dir/lighttpd.conf" ]; then
  port=$(sed -n 's/^server\.port = \([0-9]*\)$/\1/p' "$dir/lighttpd.conf")
fi
port=${port:-8080}
smtp_port=${ORVEL_DEMO_SMTP_PORT:-}
if [ -z "$smtp_port" ] && [ -f "$dir/cgi-bin/msmtprc" ]; then
  smtp_port=$(sed -n 's/^port \([0-9]*\)$/\1/p' "$dir/cgi-bin/msmtprc")
fi
smtp_port=${smtp_port:-8025}
stop_server
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
while [ "$smtp_port" = "$port" ] || (exec 3<>"/dev/tcp/127.0.0.1/$smtp_port") 2>/dev/null; do
  smtp_port=$((smtp_port + 1))
done

bash tools/demo-layout.sh "$dir" "$port" build/orvel "$smtp_port"

# The mail sink: every message the store sends becomes one file in
# $dir/mail/new (a maildir).
mkdir -p "$dir/mail/new" "$dir/mail/cur" "$dir/mail/tmp"
setsid "$python" -m aiosmtpd -n -l "127.0.0.1:$smtp_port" -c aiosmtpd.handlers.Mailbox "$dir/mail" \
  > "$dir/log/smtp-sink.log" 2>&1 < /dev/null &
echo $! > "$smtp_pidfile"
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$smtp_port") 2>/dev/null && break
  sleep 0.1
done
if [ -z "$(running_smtp_pid)" ]; then
  echo "run-demo: the mail sink did not start; see $dir/log/smtp-sink.log" >&2
  exit 1
fi

"$lighttpd" -f "$dir/lighttpd.conf"

# The start page must answer before the store is announced.
for _ in $(seq 50); do
  if exec 3<>"/dev/tcp/127.0.0.1/$port" 2>/dev/null; then
    printf 'GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
    status=$(head -n 1 <&3 | tr -d '\r')
    exec 3<&-
    break
  fi
  sleep 0.1
done
case ${status:-} in
  *" 200"*) ;;
  *) echo "run-demo: the store did not answer as expected (${status:-no answer});" \
          "see $dir/log/error.log and $dir/log/orvel.err" >&2
     exit 1 ;;
esac

echo
echo "The demo store is running: http://127.0.0.1:$port/"
echo "Store files: $dir (kept across restarts); orders in $dir/catalog/orders"
echo "Mail the store sends (order invoices) is written to: $dir/mail/new"
echo "Stop it with: bash tools/run-demo.sh stop"
