#!/usr/bin/env bash
# Runs the vault benchmark against a TPM simulator started for this run only.
#   bench/vault/run.sh <bench_vault> [benchmark options...]
set -euo pipefail
if ! command -v swtpm >/dev/null; then
  echo "skipping vault: swtpm is not installed (scripts/install-deps.sh test)"
  exit 0
fi
here=$(cd "$(dirname "$0")" && pwd)
fixture="$here/../../tests/vault/swtpm-fixture.sh"
dir=$(mktemp -d)
trap '"$fixture" stop "$dir" >/dev/null; rm -rf "$dir"' EXIT
"$fixture" start "$dir" >/dev/null
TVN_TPM_TCTI=$(cat "$dir/tpm-a.tcti") TSS2_LOG=all+none "$@"
