#!/usr/bin/env bash
# Installs what building, running, testing or packaging needs and is missing: Debian packages,
# a Node runtime of 20 or later, then the service's npm packages.
# Usage: install-deps.sh run|test|bench|package
set -euo pipefail
cd "$(dirname "$0")/.."
purpose=${1:-run}

packages=(build-essential cmake ninja-build pkg-config git ca-certificates
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev qcoro-qt6-dev
  libssl-dev libtss2-dev libpam0g-dev libsecret-1-dev)
if [ "$purpose" = test ] || [ "$purpose" = bench ]; then
  packages+=(swtpm swtpm-tools xvfb xauth chromium dbus gnome-keyring passwd)
fi
[ "$purpose" = bench ] && packages+=(libbenchmark-dev)
# dpkg-shlibdeps (in dpkg-dev) works out the package's library dependencies.
[ "$purpose" = package ] && packages+=(dpkg-dev)
# Debian's npm installs the service's packages and fetches the official Node build below.
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

# The service needs Node 20.18.1 or later; Debian 12's own nodejs is 18. When the system's is older
# or missing, an official LTS build from the npm registry goes into .tools/node, which the
# Makefile puts first on PATH. A package always bundles that build, whatever the system has.
# TVN_IGNORE_SYSTEM_NODE=1 treats the system's Node as too old (to try this path on any machine).
node_lts=24.22.3
local_node=.tools/node

# 20.18.1 is the least the provider client (undici 7) runs on.
node_recent_enough() {
  "$1" -e 'const [a, b, c] = process.versions.node.split(".").map(Number); process.exit(a > 20 || (a === 20 && (b > 18 || (b === 18 && c >= 1))) ? 0 : 1)' 2>/dev/null
}

system_node() {
  local dir
  local IFS=:
  for dir in $PATH; do
    [ "$dir/node" -ef "$local_node/bin/node" ] && continue
    [ -x "$dir/node" ] && { echo "$dir/node"; return; }
  done
}

system_node_usable() {
  local node
  node=$(system_node)
  [ -n "$node" ] && [ "${TVN_IGNORE_SYSTEM_NODE:-0}" != 1 ] && node_recent_enough "$node"
}

install_local_node() {
  local arch
  case $(uname -m) in
    x86_64) arch=x64 ;;
    aarch64) arch=arm64 ;;
    *) echo "No official Node build for $(uname -m); install Node.js 20.18.1 or later yourself." >&2; exit 1 ;;
  esac
  echo "installing Node.js $node_lts (node-linux-$arch from the npm registry) into $local_node"
  download=$(mktemp -d)
  trap 'rm -rf "$download"' EXIT
  # npm checks the tarball against the registry's integrity hash.
  (cd "$download" && npm pack --silent "node-linux-$arch@$node_lts" >/dev/null)
  mkdir -p "$download/node"
  tar -xzf "$download"/node-linux-"$arch"-*.tgz -C "$download/node" --strip-components=1 package/bin/node package/LICENSE
  [ "$("$download/node/bin/node" --version)" = "v$node_lts" ] || { echo "The downloaded Node does not run here." >&2; exit 1; }
  mkdir -p "$(dirname "$local_node")"
  rm -rf "$local_node"
  mv "$download/node" "$local_node"
}

local_node_current() {
  [ -x "$local_node/bin/node" ] && [ "$("$local_node/bin/node" --version 2>/dev/null)" = "v$node_lts" ]
}

if [ "$purpose" = package ] || ! system_node_usable; then
  local_node_current || install_local_node
fi
if [ -x "$local_node/bin/node" ]; then
  export PATH="$PWD/$local_node/bin:$PATH"
  echo "using the project-local Node.js $(node --version) in $local_node"
fi

# npm ci only when the lock file changed since the last install.
stamp=node_modules/.tvn-lock-sha
want=$(sha256sum package-lock.json | cut -d' ' -f1)
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  npm ci --no-audit --no-fund --loglevel=error
  echo "$want" > "$stamp"
fi
