#!/usr/bin/env bash
# Builds the benchmarks without sanitizers and runs each one; every benchmark prints its
# figures as ratios against a baseline measured in the same run. Starts a virtual X display
# when none is set. Usage: tools/bench.sh [name-filter]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCORVANE_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)"

. "$root/tools/display.sh"
start_private_display 140
export MESA_SHADER_CACHE_DISABLE=true

for bench in $(find "$build/bench" -maxdepth 1 -type f -name 'bench_*' -perm -u+x | sort); do
  case "$(basename "$bench")" in *"${1:-}"*) ;; *) continue ;; esac
  echo "== $(basename "$bench")"
  (cd "$build" && "$bench")
done
