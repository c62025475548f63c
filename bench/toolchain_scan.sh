#!/usr/bin/env bash
# The toolchain scan against du -s -B1 on a generated home in /tmp (built, timed and removed by
# the timing program that scripts/bench has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/toolchain_scan_timing
