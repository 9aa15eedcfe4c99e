#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the demo and the benchmarks need.
# Idempotent; runs as root (or through sudo) on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libsqlcipher-dev sqlcipher libstemmer-dev
  libcurl4-openssl-dev
  libcpp-httplib-dev
  xvfb xauth x11-utils x11-apps imagemagick fonts-dejavu-core
  poppler-utils ccache
  dpkg-dev file lintian appstream desktop-file-utils librsvg2-bin
  nginx-light
  chromium curl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node for the browser test: the machine's own when it has one, else Debian's.
command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
else
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # nginx runs only when the nginx drill and benchmark start it: Debian must not start its service.
  if printf '%s\n' "${missing[@]}" | grep -qx nginx-light && [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  echo "install-deps: installed ${missing[*]}"
fi

# The browser test's packages, exactly as the lockfile pins them (puppeteer-core drives the
# system chromium and downloads no browser).
if [ ! -d tests/browser/node_modules ] || [ tests/browser/package-lock.json -nt tests/browser/node_modules ]; then
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
fi
