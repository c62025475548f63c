#!/usr/bin/env bash
# A Trash run of 10,000 small files against mv of them into a Trash folder, on a generated tree
# in /tmp (built, timed and removed by the timing program that scripts/bench has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/trash_run_timing
