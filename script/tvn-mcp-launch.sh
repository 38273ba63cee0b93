#!/bin/sh
# Torvane's MCP wrapper, launched by agent apps: tvn-mcp-launch.sh --profile NAME [--check].
# Finds its own service root (following symlinks to this script) and a Node runtime, then hands
# over to server/mcp/main.mjs. Standard output belongs to MCP; this script never writes to it
# except for the one --check object when Node is missing.

# Agent apps started from a desktop session often have a short PATH.
PATH=${PATH:+$PATH:}/usr/local/bin:/usr/bin:/bin
export PATH

parent_dir() {
  case $1 in
    */*) printf '%s\n' "${1%/*}/" ;;
    *) printf '%s\n' ./ ;;
  esac
}

script=$0
hops=0
while [ -L "$script" ] && [ "$hops" -lt 40 ]; do
  link=$(readlink "$script") || break
  case $link in
    /*) script=$link ;;
    *) script=$(parent_dir "$script")$link ;;
  esac
  hops=$((hops + 1))
done
script_dir=$(cd -P "$(parent_dir "$script")" && pwd) || exit 1
service_root=${script_dir%/*}

# An installed service links bin/ to the install's own Node; a checkout may carry the
# project-local one that scripts/install-deps.sh installs when the system's is too old.
node_bin=
for candidate in "${TVN_NODE:-}" "$service_root/bin/node" "$service_root/.tools/node/bin/node" \
  "$(command -v node 2>/dev/null)" /home/linuxbrew/.linuxbrew/bin/node /usr/local/bin/node /usr/bin/node; do
  if [ -n "$candidate" ] && [ -f "$candidate" ] && [ -x "$candidate" ]; then
    node_bin=$candidate
    break
  fi
done

if [ -z "$node_bin" ]; then
  for arg in "$@"; do
    if [ "$arg" = "--check" ]; then
      printf '%s\n' '{"present":false,"brokerAccepted":false,"status":"node_missing","reason":"Node.js was not found (looked beside this service, on PATH, /home/linuxbrew/.linuxbrew/bin, /usr/local/bin and /usr/bin)","hint":"Install Node 20 or set TVN_NODE to its path."}'
      exit 1
    fi
  done
  echo "tvn-mcp: Node.js was not found; install Node 20 or set TVN_NODE to its path" >&2
  exit 1
fi

exec "$node_bin" "$service_root/server/mcp/main.mjs" "$@"
