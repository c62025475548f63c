#!/usr/bin/env bash
# What building Veldo costs, without ccache: CPU-seconds (user + sys, from /usr/bin/time) and wall
# seconds of a clean Release build of the application and the demo tools (the targets
# scripts/run-demo builds) and of everything with the tests, and the wall seconds of rebuilding
# each after one source of the controller changed; then what dominates: the translation units
# that cost the most CPU and the headers that the most translation units include.
# Usage: bench/build_cost.sh [-j N] [--app-only]   (N jobs, the machine's cores by default;
# --app-only: the application and the demo tools only)
#
# Builds in build/cost-app and build/cost-all, made again on every run: several thousand
# CPU-seconds in all. The load average is printed with each figure: on a busy machine the
# CPU-seconds are the figure to trust, the wall seconds much less.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

usage() {
    echo "usage: bench/build_cost.sh [-j N] [--app-only]" >&2
    exit 2
}
jobs=$(nproc)
appOnly=0
while [ $# -gt 0 ]; do
    case "$1" in
    -j)
        [ $# -ge 2 ] || usage
        jobs=$2
        shift
        ;;
    -j*) jobs=${1#-j} ;;
    --app-only) appOnly=1 ;;
    *) usage ;;
    esac
    shift
done
[[ $jobs =~ ^[1-9][0-9]*$ ]] || usage

# No compiler cache anywhere: none as the launcher, and ccache itself off should a compiler
# wrapper reach it. The launcher is /usr/bin/time, which logs each translation unit's CPU time.
export CCACHE_DISABLE=1
appTargets=(veldo veldo-demo-mac veldo-grab veldo_tour)
touched=app/controller/UninstallViewModelRemoval.cpp

load() { cut -d' ' -f1 /proc/loadavg; }

# timed LABEL COMMAND…: runs the command, its output into the build log, and prints its wall and
# CPU seconds with the load average before and after.
timed() {
    local label=$1 times before
    shift
    times=$(mktemp)
    before=$(load)
    /usr/bin/time -f '%e %U %S' -o "$times" "$@" >>"$log" 2>&1 || {
        echo "build_cost: $label failed; see $log" >&2
        rm -f "$times"
        exit 1
    }
    read -r wall user sys <"$times"
    rm -f "$times"
    awk -v label="$label" -v wall="$wall" -v user="$user" -v sys="$sys" -v before="$before" \
        -v after="$(load)" 'BEGIN {
            printf "%-44s CPU %8.1f s (user %.1f + sys %.1f)  wall %7.1f s  load %s -> %s\n",
                label, user + sys, user, sys, wall, before, after }'
}

# clean_build DIR "TARGETS" CMAKE ARGS…: a clean build in DIR, then a rebuild after touching the
# controller source.
clean_build() {
    local dir=$1 targets=$2 steps
    shift 2
    rm -rf "$dir"
    mkdir -p "$dir"
    log=$dir/build-cost.log
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER_LAUNCHER="/usr/bin/time;-a;-o;$repo/$dir/unit-times.log;-f;%U %S %C" \
        -DCMAKE_C_COMPILER_LAUNCHER="/usr/bin/time;-a;-o;$repo/$dir/unit-times.log;-f;%U %S %C" \
        "$@" >>"$log"
    # shellcheck disable=SC2086 # the targets are words
    steps=$(ninja -C "$dir" -n ${targets} | grep -c '^\[')
    echo "$dir: $steps build steps, $jobs jobs, $(nproc) cores"
    # shellcheck disable=SC2086
    timed "  clean build" cmake --build "$dir" -j "$jobs" ${targets:+--target $targets}
    touch "$touched"
    # shellcheck disable=SC2086
    timed "  after touching $(basename "$touched")" \
        cmake --build "$dir" -j "$jobs" ${targets:+--target $targets}
}

echo "== clean Release builds without ccache =="
clean_build build/cost-app "${appTargets[*]}" -DVELDO_BUILD_TESTS=OFF
[ $appOnly -eq 0 ] || exit 0
clean_build build/cost-all "" -DVELDO_BUILD_TESTS=ON

# What dominates, from the build of everything: each unit's CPU from the launcher's log (the
# touched source counted once), each object's headers from ninja's dependency records.
ninja -C build/cost-all -t deps >build/cost-all/deps.txt
python3 - "$repo" build/cost-all/unit-times.log build/cost-all/deps.txt <<'EOF'
import collections, os, re, sys

repo, timesPath, depsPath = sys.argv[1:4]

def short(path):
    path = os.path.normpath(path)
    for prefix, name in ((repo + "/build/cost-all/", ""), (repo + "/", ""),
                         ("/usr/include/x86_64-linux-gnu/qt6/", "qt6/"),
                         ("/usr/include/c++/12/", "<"), ("/usr/include/", "/usr/include/")):
        if path.startswith(prefix):
            rest = path[len(prefix):]
            return name + rest + (">" if name == "<" else "")
    return path

cpu = {}
for line in open(timesPath, errors="replace"):
    parts = line.split(None, 2)
    if len(parts) < 3 or not re.match(r"^[0-9.]+$", parts[0]):
        continue
    source = re.search(r" -c (\S+)", parts[2])
    if source:
        cpu[short(source.group(1))] = float(parts[0]) + float(parts[1])  # last compile wins

total = sum(cpu.values())
print("\n== the 20 translation units that cost the most CPU (build of everything) ==")
print(f"{len(cpu)} units, {total:.0f} CPU-s compiling (the rest of the build: linking, moc)")
for source, seconds in sorted(cpu.items(), key=lambda item: -item[1])[:20]:
    print(f"{seconds:7.1f} s  {source}")

# ninja -t deps: "OBJECT: #deps N, …" then one indented dependency a line.
objects = collections.defaultdict(set)
current = None
for line in open(depsPath, errors="replace"):
    if line and not line[0].isspace() and ": #deps" in line:
        current = line.split(": #deps")[0]
    elif current and line.strip():
        objects[current].add(short(line.strip()))
sourceOf = {}
for obj, deps in objects.items():
    srcs = [d for d in deps if re.search(r"\.(cpp|cc|c)$", d)]
    if srcs:
        sourceOf[obj] = srcs[0]
units = {obj: deps for obj, deps in objects.items() if obj in sourceOf}
count = collections.Counter(h for deps in units.values() for h in deps
                            if not re.search(r"\.(cpp|cc|c)$", h))
weight = collections.Counter()
for obj, deps in units.items():
    for h in deps:
        weight[h] += cpu.get(sourceOf[obj], 0.0)

print(f"\n== the headers most of the {len(units)} translation units include (directly or not) ==")
print("  units  CPU-s of those units  header")
for header, n in count.most_common(30):
    print(f"{n:7d}  {weight[header]:12.0f}          {header}")

groups = [
    ("any Qt header", lambda h: h.startswith("qt6/")),
    ("QtWidgets", lambda h: h.startswith("qt6/QtWidgets/")),
    ("nlohmann/json", lambda h: "nlohmann/json.hpp" in h),
    ("<regex>", lambda h: h == "<regex>"),
    ("<filesystem>", lambda h: h == "<filesystem>"),
    ("<iostream>", lambda h: h == "<iostream>"),
    ("<sstream>", lambda h: h == "<sstream>"),
    ("<chrono>", lambda h: h == "<chrono>"),
    ("<functional>", lambda h: h == "<functional>"),
    ("<algorithm>", lambda h: h == "<algorithm>"),
    ("<variant>", lambda h: h == "<variant>"),
    ("<format>", lambda h: h == "<format>"),
    ("gtest", lambda h: "gtest/gtest.h" in h),
    ("libplist", lambda h: "plist/plist.h" in h),
    ("unicode (ICU)", lambda h: "unicode/" in h),
    ("openssl", lambda h: "openssl/" in h),
    ("base/Result.h", lambda h: h == "base/Result.h"),
    ("platform/MacPath.h", lambda h: h == "platform/MacPath.h"),
    ("app/controller/UninstallViewModel.h", lambda h: h == "app/controller/UninstallViewModel.h"),
]
print("\n== heavy or widely included headers: units that include them ==")
print("  units  CPU-s of those units  header")
for name, match in groups:
    hit = [obj for obj, deps in units.items() if any(match(h) for h in deps)]
    seconds = sum(cpu.get(sourceOf[obj], 0.0) for obj in hit)
    print(f"{len(hit):7d}  {seconds:12.0f}          {name}")
headerCounts = sorted(len(deps) for deps in units.values())
print(f"\nheaders per unit: median {headerCounts[len(headerCounts) // 2]}, "
      f"most {headerCounts[-1]}")
EOF
