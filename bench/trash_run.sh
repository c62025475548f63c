#!/usr/bin/env bash
# Trash runs of 10,000 small files and of 500 folders against mv of them into a Trash folder, on
# generated trees in /tmp (built, timed and removed by the timing program that scripts/bench has
# just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/trash_run_timing
