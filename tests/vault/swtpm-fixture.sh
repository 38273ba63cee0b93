#!/usr/bin/env bash
# Starts (or stops) the TPM simulators the vault tests use: two independent swtpm instances on
# free loopback ports, each with a fresh state directory, so "tpm-b" is another machine to
# "tpm-a". Each instance's TCTI string is written to <dir>/<name>.tcti.
#   swtpm-fixture.sh start <dir>
#   swtpm-fixture.sh stop <dir>
set -euo pipefail
action=$1
dir=$(realpath -m "$2")

start_instance() {
  local name=$1 port
  rm -rf "$dir/$name"
  mkdir -p "$dir/$name"
  for attempt in $(seq 1 40); do
    # Even ports below the kernel's ephemeral range and far from the broker's 47381/47382.
    port=$(( 20000 + (RANDOM % 6383) * 2 ))
    if swtpm socket --tpm2 \
        --server type=tcp,port=$port,bindaddr=127.0.0.1 \
        --ctrl type=tcp,port=$((port + 1)),bindaddr=127.0.0.1 \
        --tpmstate dir="$dir/$name" \
        --flags not-need-init,startup-clear \
        --pid file="$dir/$name.pid" --daemon 2>"$dir/$name.log"; then
      for wait in $(seq 1 50); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
          echo "swtpm:host=127.0.0.1,port=$port" > "$dir/$name.tcti"
          echo "$name: swtpm on 127.0.0.1:$port (pid $(cat "$dir/$name.pid"))"
          return 0
        fi
        sleep 0.1
      done
      stop_instance "$name"
    fi
  done
  echo "could not start swtpm for $name:" >&2
  cat "$dir/$name.log" >&2 || true
  return 1
}

# A shutdown over the control channel is taken at once; a signal is only seen after a while.
request_stop() {
  local name=$1 port
  [ -f "$dir/$name.pid" ] || return 0
  if [ -f "$dir/$name.tcti" ] && command -v swtpm_ioctl >/dev/null; then
    port=$(sed 's/.*port=//' "$dir/$name.tcti")
    swtpm_ioctl --tcp "127.0.0.1:$((port + 1))" -s 2>/dev/null && return 0
  fi
  kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
}

await_stop() {
  local name=$1 pid
  if [ -f "$dir/$name.pid" ]; then
    pid=$(cat "$dir/$name.pid")
    for wait in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    rm -f "$dir/$name.pid"
  fi
  rm -f "$dir/$name.tcti"
}

stop_instance() {
  request_stop "$1"
  await_stop "$1"
}

stop_all() {
  for name in tpm-a tpm-b; do request_stop "$name"; done
  for name in tpm-a tpm-b; do await_stop "$name"; done
}

case "$action" in
  start)
    command -v swtpm >/dev/null || { echo "swtpm is not installed (scripts/install-deps.sh test)" >&2; exit 1; }
    mkdir -p "$dir"
    stop_all
    for name in tpm-a tpm-b; do start_instance "$name"; done ;;
  stop)
    stop_all ;;
  *)
    echo "usage: $0 start|stop <dir>" >&2; exit 2 ;;
esac
