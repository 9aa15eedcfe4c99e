#!/usr/bin/env bash
# The web reader in Debian's chromium (puppeteer-core + axe-core from tests/browser, installed by
# install-deps.sh): accessibility audit, keyboard round, phone width, a publisher's hostile
# markup; screenshots in build/reader-shots/. Serves the demo (and one hostile product beside
# it) from build/bin/ramux-server on a free loopback port.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
[ -d tests/browser/node_modules ] || (cd tests/browser && npm ci --no-audit --no-fund)

freeport() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(freeport)
# The hostile product: a refresh, a base and a form that point at a loopback listener the
# browser must never reach.
hostile_port=$(freeport)
demo=$(mktemp -d)
cp -r data/demo/. "$demo"
cat >"$demo/items/9001.txt" <<HOSTILE
id: 9001
name: Проверка чужой разметки
== description
<meta http-equiv="refresh" content="0; url=http://127.0.0.1:$hostile_port/refresh">
<base href="http://127.0.0.1:$hostile_port/">
<p>Описание с чужой разметкой.</p>
<form action="http://127.0.0.1:$hostile_port/login" method="post"><p>Пароль: <input name="password" type="password"> <button type="submit">Войти</button></p></form>
<p><img src='http://127.0.0.1:$hostile_port/pixel.png' alt="пиксель"> <a href="relative">ссылка</a></p>
HOSTILE
log=$(mktemp)
RAMUX_DEMO_DIR="$demo" "$bin/ramux-server" --demo --reader --port "$port" >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; rm -f "$log"; rm -rf "$demo"' EXIT
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
# A product with withdrawal rows carries release dates.
periods=$(grep -l '^tissue:' data/demo/items/*.txt | head -1)
periods=${periods##*/}
LONGEST_ITEM=${longest%.txt} CALC_ITEM=${calc%.txt} PERIODS_ITEM=${periods%.txt} HOSTILE_ITEM=9001 \
  HOSTILE_PORT=$hostile_port node tests/browser/reader.mjs "http://127.0.0.1:$port" build/reader-shots
