#!/usr/bin/env bash
# The Orphaned Files screen's worst GUI-thread lag while 3,000 findings are built and scrolled
# (offscreen; the timing program that scripts/bench has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/orphan_list_lag_timing
