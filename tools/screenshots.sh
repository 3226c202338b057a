#!/usr/bin/env bash
# Takes screenshots of the demo store (start, search results, no matches,
# category, product, cart and empty-cart pages, at 1280 and 390 pixels wide)
# with Debian's headless Chromium, driven by playwright-core from npm.  The
# store runs in a directory of its own for the occasion and is stopped
# afterwards.
#   bash tools/screenshots.sh [OUT_DIR]     (default: screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-screenshots}")

bash tools/install-missing.sh /usr/bin/chromium:chromium node:nodejs npm:npm
# playwright-core comes from npm into tools/browser/node_modules; it uses the
# Chromium above and downloads no browser of its own.
if [ ! -d tools/browser/node_modules/playwright-core ]; then
  npm ci --prefix tools/browser --no-audit --no-fund --loglevel=error
fi

export ORVEL_DEMO_DIR=${ORVEL_SHOTS_STORE:-${TMPDIR:-/tmp}/orvel-screenshots-store}
export ORVEL_DEMO_PORT=${ORVEL_SHOTS_PORT:-8180}
trap 'bash tools/run-demo.sh stop >/dev/null' EXIT
bash tools/run-demo.sh > "$ORVEL_DEMO_DIR.start.log" || { cat "$ORVEL_DEMO_DIR.start.log" >&2; exit 1; }
url=$(sed -n 's/^The demo store is running: //p' "$ORVEL_DEMO_DIR.start.log")
rm -f "$ORVEL_DEMO_DIR.start.log"

node tools/browser/screenshots.mjs "$url" "$out"
echo "Screenshots in $out"
