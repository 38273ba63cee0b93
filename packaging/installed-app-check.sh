#!/bin/sh
# Runs as a normal user inside the clean root of clean-debian-check.sh, under Xvfb and a D-Bus
# session: starts the installed app, turns the service on as a person would and checks the result.
# Every finding is a "check:" line; the exit status is 0 only when all of them passed.
set -u
broker=http://127.0.0.1:47381
service_copy=$HOME/.local/share/Torvane/Service
state_dir=$HOME/.torvane/state
failures=0

check() { # check "what" COMMAND...
  what=$1
  shift
  if "$@"; then echo "check: PASS $what"; else echo "check: FAIL $what"; failures=$((failures + 1)); fi
}

http_get() { # http_get URL: prints the body, fails on anything but 200
  python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=3).read().decode())' "$1" 2>/dev/null
}

serves_html() { # serves_html PATH: 200 with an HTML page
  python3 -c 'import sys, urllib.request
r = urllib.request.urlopen(sys.argv[1], timeout=3)
sys.exit(r.headers.get_content_type() != "text/html")' "$broker$1" 2>/dev/null
}

broker_healthy() {
  http_get "$broker/health" | grep -q '"service":"switchyard-broker"'
}

wait_for_broker() {
  i=0
  while [ $i -lt 120 ]; do
    broker_healthy && return 0
    sleep 1
    i=$((i + 1))
  done
  return 1
}

broker_runs_on_bundled_node() {
  pid=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["pid"])' "$HOME/.torvane/run.lock") || return 1
  exe=$(readlink "/proc/$pid/exe")
  echo "broker pid $pid runs $exe: $(tr '\0' ' ' < "/proc/$pid/cmdline")"
  [ "$exe" = /usr/share/torvane/bin/node ] && tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q "$service_copy/server/main.mjs"
}

# A sealed profile this computer cannot open (it has no TPM): the wrapper must find Node and the
# signer with only what an agent app's MCP entry gives it, and the signer must be the one to refuse.
wrapper_finds_signer() {
  mkdir -p -m 700 "$state_dir/agent-keys"
  (umask 077 && printf 'not an envelope' > "$state_dir/agent-keys/clean-check-keel-tvn.sealed")
  out=$(env -i HOME="$HOME" PATH=/usr/local/bin:/usr/bin:/bin TVN_BROKER_URL=$broker TVN_RUNTIME_LANE=production \
    SWITCHYARD_STATE_DIR="$state_dir" "$service_copy/script/tvn-mcp-launch.sh" --profile clean-check-keel-tvn --check)
  echo "wrapper --check: $out"
  echo "$out" | grep -q '"status":"signer_failed"' && echo "$out" | grep -q 'sealed setup profile could not be opened'
}

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# A chroot offers Chromium's sandbox no user namespaces.
export QTWEBENGINE_DISABLE_SANDBOX=1
torvane > "$HOME/torvane.log" 2>&1 &
app=$!

check "the app shows Turn on Torvane" python3 /tmp/press-button.py Torvane "Turn on Torvane" 60
check "the confirmation turns it on" python3 /tmp/press-button.py Torvane "Turn On" 30
check "the broker answers on $broker (production port)" wait_for_broker
check "the dashboard page is served at $broker/" serves_html /
check "the help pages are served at $broker/help/" serves_html /help/
check "the user's service copy is in place" test -x "$service_copy/script/tvn-mcp-launch.sh"
check "the broker runs from that copy on the bundled Node" broker_runs_on_bundled_node
check "the copy's wrapper finds Node and the signer" wrapper_finds_signer
check "the app is still running" kill -0 "$app"

kill "$app" 2>/dev/null
if [ "$failures" -gt 0 ]; then
  echo "--- app log"
  tail -30 "$HOME/torvane.log"
  echo "--- service log"
  tail -30 "$HOME/Library/Logs/Torvane/broker.log" 2>/dev/null
fi
exit "$failures"
