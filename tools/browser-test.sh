#!/usr/bin/env bash
# End-to-end test of an order in a real browser: runs the demo store (with
# its mail sink) in a directory of its own and buys from it in Debian's
# headless Chromium, driven by playwright-core from npm
# (tools/browser/checkout-test.mjs).  Screenshots of every step go to
# OUT_DIR.  The store is stopped afterwards.
#   bash tools/browser-test.sh [OUT_DIR]   (default: screenshots/checkout)
# Exits 77 (a skip for ctest) when Chromium cannot be installed here.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshots/checkout}")

if ! bash tools/install-missing.sh /usr/bin/chromium:chromium node:nodejs npm:npm; then
  echo "browser-test: SKIPPED: Chromium, Node.js or npm cannot be installed on this machine" >&2
  exit 77
fi
# playwright-core comes from npm into tools/browser/node_modules; it uses the
# Chromium above and downloads no browser of its own.
if [ ! -d tools/browser/node_modules/playwright-core ]; then
  npm ci --prefix tools/browser --no-audit --no-fund --loglevel=error
fi

export ORVEL_DEMO_DIR=${ORVEL_BROWSER_TEST_STORE:-${TMPDIR:-/tmp}/orvel-browser-test-store}
export ORVEL_DEMO_PORT=${ORVEL_BROWSER_TEST_PORT:-8280}
export ORVEL_DEMO_SMTP_PORT=${ORVEL_BROWSER_TEST_SMTP_PORT:-8325}
# A fresh store each time: no orders or mail from an earlier run.
if [ -f "$ORVEL_DEMO_DIR/.orvel-demo" ]; then
  bash tools/run-demo.sh stop >/dev/null
  rm -rf "$ORVEL_DEMO_DIR"
fi
trap 'bash tools/run-demo.sh stop >/dev/null' EXIT
log=$(mktemp)
bash tools/run-demo.sh > "$log" 2>&1 || { cat "$log" >&2; rm -f "$log"; exit 1; }
url=$(sed -n 's/^The demo store is running: //p' "$log")
rm -f "$log"

node tools/browser/checkout-test.mjs "$url" "$ORVEL_DEMO_DIR" "$out"
echo "Screenshots in $out"
