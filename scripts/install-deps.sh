#!/usr/bin/env bash
# Installs what building, running or testing needs and is missing: Debian packages, then the
# service's npm packages. Usage: install-deps.sh run|test|bench
set -euo pipefail
cd "$(dirname "$0")/.."
purpose=${1:-run}

packages=(build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev qcoro-qt6-dev
  libssl-dev libtss2-dev libpam0g-dev libsecret-1-dev)
if [ "$purpose" = test ] || [ "$purpose" = bench ]; then
  packages+=(swtpm swtpm-tools xvfb xauth chromium dbus gnome-keyring passwd)
fi
[ "$purpose" = bench ] && packages+=(libbenchmark-dev)
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The service needs Node 20 or later (Debian 12's own nodejs is 18).
node_major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$node_major" -lt 20 ]; then
  echo "Node.js 20 or later is required for the local service; found $(node --version)." >&2
  exit 1
fi

# npm ci only when the lock file changed since the last install.
stamp=node_modules/.tvn-lock-sha
want=$(sha256sum package-lock.json | cut -d' ' -f1)
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  npm ci --no-audit --no-fund --loglevel=error
  echo "$want" > "$stamp"
fi
