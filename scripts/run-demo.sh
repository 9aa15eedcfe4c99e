#!/usr/bin/env bash
# Sets everything up and starts the program on the demo database, with the reference update
# server serving the demo content on 127.0.0.1:8642. Without a display it runs under Xvfb and
# leaves a screenshot in build/demo-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

server_pid=""
if ! (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null; then
  build/bin/ramux-server --demo > build/ramux-server.log 2>&1 &
  server_pid=$!
  echo "ramux-server --demo is serving on 127.0.0.1:8642 (log: build/ramux-server.log)"
fi
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/bin/ramux "$@"
else
  echo "No display found: running under Xvfb for 15 seconds and saving a screenshot."
  echo "To use the program, run 'build/bin/ramux' from a desktop session."
  RAMUX_QUIT_AFTER_MS=15000 xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    build/bin/ramux "$@" & pid=$!
    sleep 10
    import -window root build/demo-screenshot.png 2>/dev/null || true
    wait $pid' _ "$@"
  [ -f build/demo-screenshot.png ] && echo "Screenshot: build/demo-screenshot.png"
fi
