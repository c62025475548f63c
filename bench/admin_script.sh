#!/usr/bin/env bash
# The administrator script's move and put-back of 50 and of 500 root-owned folders against mv of
# them, on a generated Mac in /tmp (built, timed and removed by the timing program that
# scripts/bench has just built). Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/admin_script_timing "$@"
