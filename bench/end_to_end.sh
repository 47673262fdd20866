#!/usr/bin/env bash
# Times the host against the bare CUPS tools on one private scheduler and
# prints the figures side by side; then many hosts printing at once to one
# scheduler reached over IPP on TCP loopback, against as many bare lp
# streams. Builds first; runs under Xvfb when there is no display.
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
