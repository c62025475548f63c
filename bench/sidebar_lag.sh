#!/usr/bin/env bash
# The sidebar's worst GUI lag while 300 generated apps load their icons (offscreen), printed by
# the timing program that scripts/bench has just built.
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/bench/bench/sidebar_lag_timing
