#!/usr/bin/env bash
# Prints a 64 MiB label document through the host, the real lp and a private
# CUPS scheduler with a simulated label printer, checks that it arrives
# intact, and reports the host's peak memory against the document's size.
#
#   bench/zpl_print_memory.sh [BUILD_DIR]     (default: build)
#
# Needs the CUPS packages and Xvfb (scripts/install-deps). The host's
# temporary label file goes to a scratch directory that is removed at the end.
set -euo pipefail
build=${1:-build}
bin=$(cd "$build/bin" && pwd)
scratch=$(mktemp -d /tmp/corvella-bench.XXXXXX)
trap 'rm -rf -- "$scratch"' EXIT
# Only the host gets the scratch directory (mode 0700) as TMPDIR: the
# scheduler's backends run as another user and must reach its spool.
"$bin/corvella-print-system" --queue Bench -- \
  env TMPDIR="$scratch" xvfb-run -a "$bin/zpl_print_memory_bench" --benchmark_counters_tabular=true
