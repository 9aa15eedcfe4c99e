#!/usr/bin/env bash
# Writes an nginx configuration for ramux-server processes from ramux.conf.in.
#   make-config.sh --prefix DIR --listen [ADDRESS:]PORT --backend ADDRESS:PORT [--backend ...]
#                  [--workers N] [--cache-size SIZE] [--out FILE]
# DIR gets the pid file, logs, cache and temporary files (created here). Then:
#   nginx -p DIR -c FILE -e DIR/error.log            (add -g 'daemon off;' to keep it in the foreground)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
prefix="" listen="" out="" workers="auto" cache_size="2g"
backends=()
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --listen) listen="$2"; shift 2 ;;
    --backend) backends+=("$2"); shift 2 ;;
    --workers) workers="$2"; shift 2 ;;
    --cache-size) cache_size="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "make-config.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$prefix" ] || [ -z "$listen" ] || [ ${#backends[@]} -eq 0 ]; then
  sed -n '2,6p' "$0" >&2
  exit 2
fi
check() { # value, pattern, what
  if ! [[ "$1" =~ $2 ]]; then echo "make-config.sh: bad $3: $1" >&2; exit 2; fi
}
check "$listen" '^([0-9.]+:|\[[0-9a-fA-F:]+\]:)?[0-9]{1,5}$' "--listen"
check "$workers" '^(auto|[0-9]{1,3})$' "--workers"
check "$cache_size" '^[0-9]{1,6}[kmg]?$' "--cache-size"
for b in "${backends[@]}"; do check "$b" '^[A-Za-z0-9.-]+:[0-9]{1,5}$' "--backend"; done
check "$prefix" '^/[^;{}"'"'"'[:space:]]*$' "--prefix (an absolute path without spaces)"
mkdir -p "$prefix"/temp "$prefix"/cache
prefix="$(cd "$prefix" && pwd)"
[ -n "$out" ] || out="$prefix/nginx.conf"

upstreams=""
for b in "${backends[@]}"; do upstreams+="        server $b max_fails=3 fail_timeout=5s;"$'\n'; done
# As root nginx would hand the work to "nobody", who cannot write the cache under a private
# folder: keep the user that runs it.
user_line=""
if [ "$(id -u)" = "0" ]; then user_line="user $(id -un);"; fi

awk -v prefix="$prefix" -v listen="$listen" -v workers="$workers" -v cache="$cache_size" \
    -v upstreams="${upstreams%$'\n'}" -v userline="$user_line" '
  { gsub(/@PREFIX@/, prefix); gsub(/@LISTEN@/, listen); gsub(/@WORKERS@/, workers);
    gsub(/@CACHE_SIZE@/, cache); gsub(/@USER_LINE@/, userline);
    if ($0 ~ /@UPSTREAMS@/) { print upstreams; next }
    print }' "$here/ramux.conf.in" > "$out"
echo "$out"
