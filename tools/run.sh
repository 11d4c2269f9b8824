#!/usr/bin/env bash
# Builds Corvane and starts it in a music folder: the one given, or else a small demo
# library that the project generates. Usage: tools/run.sh [music-folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/release" -j"$(nproc)" --target corvane flac_fixture
folder="${1:-}"
if [ -z "$folder" ]; then
  folder="$root/build/demo-library"
  "$root/tools/make-demo-library.sh" "$root/build/release" "$folder"
fi
cd "$folder"
exec "$root/build/release/corvane"
