#!/usr/bin/env bash
# Times the host against the bare CUPS tools on one private scheduler and
# prints the figures side by side. Builds first; runs under Xvfb when there
# is no display.
#
#   bench/end_to_end.sh [--runs N] [--total M]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target corvella end_to_end_bench corvella-label-printer >/dev/null
run=(build/bin/end_to_end_bench --host build/bin/corvella --queue Bench "$@")
[ -n "${DISPLAY:-}" ] || run=(xvfb-run -a "${run[@]}")
build/bin/corvella-print-system --queue Bench -- "${run[@]}"
