#!/usr/bin/env bash
# allocatedSize against du -s -B1 on a generated tree in /tmp (built, timed and removed by the
# timing program that scripts/bench has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/allocated_size_timing
