#!/usr/bin/env bash
# Every figure of the window at 100, 1,000 and 10,000 items: the real application under Xvfb
# (window_bench), then the offscreen model and widget benches and the first pull beside them.
#   bench/run-window-benches.sh [BUILD_DIR] [SIZES...]     (default: build, 100 1000 10000)
# Needs a build with -DVAEL_BENCH=ON and the xvfb package. The machine's load is printed with each run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}; shift || true
sizes=("$@"); [ ${#sizes[@]} -gt 0 ] || sizes=(100 1000 10000)
bin=$build/bench
[ -x "$bin/ui/window_bench" ] || { echo "no $bin/ui/window_bench: build with -DVAEL_BENCH=ON and the X development packages (./dev.sh)" >&2; exit 1; }
# The application asks the session bus for a few things: give it a private one.
session=()
command -v dbus-run-session >/dev/null && session=(dbus-run-session --)

echo "== load before: $(cat /proc/loadavg)"
for n in "${sizes[@]}"; do "${session[@]}" "$bin/ui/window_bench" "$n"; done

echo; echo "== offscreen: the widgets and the model over a real replica"
"$bin/model/ui_window_bench" add
"$bin/model/ui_window_bench" unlock
"$bin/model/model_window_bench"
echo; echo "== import through the model (CSV parse and one add per row)"
"$bin/items/items_bench" --benchmark_min_time=0.2
echo; echo "== first pull against the in-process server (goal <= 1.5 s at 10,000 items)"
"$bin/api/api_pull_bench"
"$bin/sync/sync_pull_bench"
echo "== load after: $(cat /proc/loadavg)"
