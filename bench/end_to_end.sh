#!/usr/bin/env bash
# Times the host against the bare CUPS tools on one private scheduler and
# prints the figures side by side; then many hosts printing at once to one
# scheduler reached over IPP on TCP loopback, against as many bare lp
# streams; then a 64 MiB label through the host and its peak memory. Builds
# first; runs under Xvfb when there is no display.
#
#   bench/end_to_end.sh [--runs N] [--total M]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target corvella end_to_end_bench corvella-label-printer >/dev/null
run=(build/bin/end_to_end_bench --host build/bin/corvella --queue Bench "$@")
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a "${run[@]}")
build/bin/corvella-print-system --queue Bench -- "${run[@]}"
echo
build/bin/corvella-print-system --tcp --queue Bench -- "${run[@]}" --hosts 8 --total 40
echo
# Only the host gets a private scratch directory as TMPDIR for its label
# file: the scheduler's backends run as another user and must reach its spool.
scratch=$(mktemp -d /tmp/corvella-bench.XXXXXX)
trap 'rm -rf -- "$scratch"' EXIT
build/bin/corvella-print-system --queue Bench -- env TMPDIR="$scratch" "${run[@]}" --memory 64
