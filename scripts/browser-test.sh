#!/usr/bin/env bash
# The web reader in Debian's chromium (puppeteer-core + axe-core from tests/browser, installed by
# install-deps.sh): accessibility audit, keyboard round, phone width; screenshots in
# build/reader-shots/. Serves the demo from build/bin/ramux-server on a free loopback port.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
[ -d tests/browser/node_modules ] || (cd tests/browser && npm ci --no-audit --no-fund)

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
log=$(mktemp)
"$bin/ramux-server" --demo --reader --port "$port" >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 1 100); do
  curl -fsS -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null && break
  kill -0 $server 2>/dev/null || { cat "$log"; echo "browser-test: ramux-server did not start" >&2; exit 1; }
  sleep 0.1
done
# The longest demo product page is the hardest case for a narrow screen.
longest=$(ls -S data/demo/items | head -1)
# A product with a dose row for dogs carries the calculator the keyboard round fills in.
calc=$(grep -l '^species: dog' data/demo/items/*.txt | head -1)
calc=${calc##*/}
LONGEST_ITEM=${longest%.txt} CALC_ITEM=${calc%.txt} node tests/browser/reader.mjs "http://127.0.0.1:$port" build/reader-shots
