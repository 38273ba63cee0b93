#!/usr/bin/env bash
# Proves on clean Debian 12 roots, with nothing but Debian's packages, what the README promises:
#  1. in a fresh root with only git and make added: `git clone` of this repository's committed
#     HEAD, then `make test`, then `make package`;
#  2. in a second fresh root: that package installed with apt, the app started under Xvfb as a
#     normal user in the production lane, "Turn on Torvane" pressed as a person would (through
#     the accessibility bus), the broker answering on http://127.0.0.1:47381 on the bundled Node,
#     and the wrapper in the user's copy of the service finding Node and the signer with an agent
#     app's bare environment.
# Not part of `make test`: it downloads a Debian base system and builds everything twice.
#
# Usage (as root): packaging/clean-debian-check.sh [--deb FILE] [--skip-tests] [--keep] [--work DIR]
#   --deb FILE     install this package instead of building one in the first root
#   --skip-tests   skip `make test` in the first root (with --deb: no first root at all)
#   --keep         keep the roots and logs (they are removed otherwise, logs included on success)
#   --work DIR     where the roots go (default: a new folder under /var/tmp)
#   --base DIR     start from this pristine root (the base folder of an earlier --keep run)
# TVN_DEBIAN_MIRROR picks the mirror (default http://deb.debian.org/debian).
# Tests and the app run in their own network namespace: nothing on this machine's ports is touched.
set -euo pipefail

repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
mirror=${TVN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
deb=""
run_tests=1
keep=0
work=""
base_from=""
while [ $# -gt 0 ]; do
  case $1 in
    --deb) deb=$(realpath "$2"); shift 2 ;;
    --skip-tests) run_tests=0; shift ;;
    --keep) keep=1; shift ;;
    --work) work=$2; shift 2 ;;
    --base) base_from=$(realpath "$2"); shift 2 ;;
    *) echo "unknown argument: $1 (see the header of $0)" >&2; exit 2 ;;
  esac
done

[ "$(id -u)" -eq 0 ] || { echo "Run as root: debootstrap, chroot and mounts need it." >&2; exit 2; }
for tool in debootstrap unshare ip; do
  command -v "$tool" >/dev/null || { echo "Needs $tool (Debian packages debootstrap, util-linux, iproute2)." >&2; exit 2; }
done
[ -z "$deb" ] || [ -f "$deb" ] || { echo "No package at $deb" >&2; exit 2; }

work=$(realpath -m "${work:-$(mktemp -d /var/tmp/torvane-clean-debian.XXXXXX)}")
mkdir -p "$work/logs"
roots=()
results=()
failed=0

say() { printf '\n== %s\n' "$*" >&2; }
record() { # record "what" RESULT
  results+=("$(printf '%-72s %s' "$1" "$2")")
  [ "$2" = PASS ] || failed=1
}

# Ends whatever still runs inside a root (a detached broker, the app), then unmounts it.
release_root() {
  local root=$1 pid mount
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null
  done
  sleep 1
  for mount in mnt/source dev sys proc; do
    if mountpoint -q "$root/$mount"; then umount -R "$root/$mount"; fi
  done
  return 0
}

finish() {
  local root
  for root in "${roots[@]}"; do release_root "$root"; done
  if [ ${#results[@]} -gt 0 ]; then
    say "summary"
    printf '%s\n' "${results[@]}"
  fi
  if [ "$keep" = 1 ] || [ "$failed" = 1 ]; then
    echo "roots and logs kept in $work"
  else
    rm -rf "$work"
  fi
}
trap finish EXIT

base_root() {
  local base=$work/base
  [ -d "$base/usr" ] && return 0
  if [ -n "$base_from" ]; then
    cp -a "$base_from" "$base"
    return 0
  fi
  say "debootstrap bookworm (with git and make) from $mirror"
  debootstrap --include=git,make bookworm "$base" "$mirror" > "$work/logs/debootstrap.log" 2>&1 \
    || { tail -20 "$work/logs/debootstrap.log"; exit 1; }
  printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s/debian-security bookworm-security main\n' \
    "$mirror" "$mirror" "${mirror%/debian}" > "$base/etc/apt/sources.list"
}

# A fresh copy of the base root in $root, with /proc, /sys, /dev and the host's name resolution.
new_root() {
  base_root
  root=$work/$1
  rm -rf "$root"
  cp -a "$work/base" "$root"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # A network that inspects TLS has its own CA, which every machine on it trusts: carry the
  # host's local CAs in (ca-certificates, once install-deps adds it, bundles them).
  if [ -d /usr/local/share/ca-certificates ]; then
    mkdir -p "$root/usr/local/share/ca-certificates"
    cp -a /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
  fi
  mount -t proc proc "$root/proc"
  mount -t sysfs sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  roots+=("$root")
}

in_root() { # in_root ROOT COMMAND...: as root, in a clean login-like environment
  local root=$1
  shift
  # Node reads only its own CA list unless told; the host tells it when its network needs that.
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    ${NODE_EXTRA_CA_CERTS:+NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt} \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
export -f in_root

# in_root in a network namespace of its own where only loopback is up.
isolated_in_root() {
  unshare --net -- bash -c 'ip link set lo up && in_root "$@"' isolated "$@"
}

logged() { # logged LOG "what" COMMAND...: runs it into logs/LOG.log, shows the end on failure
  local log=$work/logs/$1.log what=$2
  shift 2
  if "$@" > "$log" 2>&1; then
    record "$what" PASS
    return 0
  fi
  record "$what" "FAIL (log: $log)"
  tail -40 "$log" >&2
  return 1
}

check_source_tree() {
  new_root source
  mkdir -p "$root/mnt/source"
  mount --bind -o ro "$repo" "$root/mnt/source"
  say "git clone + scripts/install-deps.sh test in a fresh root"
  logged clone "git clone" in_root "$root" git clone -q /mnt/source /root/torvane || return 1
  umount "$root/mnt/source"
  logged deps-test "install-deps.sh test on a fresh Debian 12" \
    in_root "$root" sh -c 'cd /root/torvane && scripts/install-deps.sh test' || return 1
  if [ "$run_tests" = 1 ]; then
    say "make test (in its own network namespace; this takes a while)"
    logged make-test "make test" isolated_in_root "$root" sh -c 'cd /root/torvane && make test' || true
  fi
  if [ -z "$deb" ]; then
    say "make package"
    logged make-package "make package" in_root "$root" sh -c 'cd /root/torvane && make package' || return 1
    deb=$(ls "$root"/root/torvane/build-package/torvane_*.deb)
    cp "$deb" "$work/"
    deb=$work/$(basename "$deb")
  fi
}

check_installed_package() {
  new_root installed
  say "apt install $(basename "$deb") in a fresh root"
  cp "$deb" "$root/tmp/torvane.deb"
  logged apt-install "apt install the package (no recommends)" in_root "$root" sh -c \
    'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/torvane.deb' \
    || return 1
  logged layout "package layout and production Info.json" in_root "$root" sh -c '
    for f in /usr/bin/torvane /usr/share/torvane/Info.json /usr/share/torvane/bin/node /usr/share/torvane/bin/tvn-pop-signer \
             /usr/share/torvane/Service/scripts/local-service.mjs /usr/share/torvane/Service/script/tvn-mcp-launch.sh \
             /usr/share/torvane/Service/server/main.mjs /usr/share/torvane/Service/server/help/index.html \
             /usr/share/torvane/Service/tvn-build.json \
             /usr/share/torvane/Service/node_modules/@modelcontextprotocol/sdk/package.json \
             /usr/share/torvane/Service/bin/node /usr/share/applications/com.torvane.mac.desktop \
             /usr/share/icons/hicolor/scalable/apps/com.torvane.mac.svg /etc/pam.d/torvane; do
      [ -e "$f" ] || { echo "missing: $f"; exit 1; }
    done
    grep -q "\"TVNRuntimeLane\": \"production\"" /usr/share/torvane/Info.json || { cat /usr/share/torvane/Info.json; exit 1; }
    [ ! -e /usr/share/torvane/Service/server/test ] || { echo "the service tests were packaged"; exit 1; }
    [ ! -e /usr/share/torvane/Service/node_modules/playwright-core ] || { echo "dev packages were packaged"; exit 1; }
    /usr/share/torvane/bin/node --version' || true

  # Tools that drive and watch the app; not dependencies of the package.
  logged test-tools "test tools (Xvfb, D-Bus, AT-SPI)" in_root "$root" sh -c \
    'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends xvfb xauth dbus at-spi2-core python3-pyatspi' \
    || return 1
  in_root "$root" useradd -m -s /bin/bash alice
  cp "$repo/packaging/press-button.py" "$repo/packaging/installed-app-check.sh" "$root/tmp/"
  say "the app as alice under Xvfb: turn the service on, check the broker and the wrapper"
  logged installed-app "app in the production lane, service on, wrapper finds Node and signer" \
    isolated_in_root "$root" runuser -u alice -- env -i HOME=/home/alice USER=alice LOGNAME=alice LANG=C.UTF-8 \
    PATH=/usr/local/bin:/usr/bin:/bin dbus-run-session -- xvfb-run -a sh /tmp/installed-app-check.sh || true
  grep '^check:' "$work/logs/installed-app.log" >&2 || true
}

# With a package given and tests skipped there is nothing to do in a source tree.
if [ "$run_tests" = 1 ] || [ -z "$deb" ]; then
  check_source_tree || true
fi
if [ -n "$deb" ]; then
  check_installed_package || true
else
  record "installed package" "SKIPPED (no package was built)"
fi
exit "$failed"
