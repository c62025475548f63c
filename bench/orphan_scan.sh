#!/usr/bin/env bash
# The orphan scan against du -s -B1 on a generated Library in /tmp (built, timed and removed by
# the timing program that scripts/bench has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/orphan_scan_timing
