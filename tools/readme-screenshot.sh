#!/usr/bin/env bash
# Draws docs/vault-window.png for the README from the real vault window over a sample vault,
# offscreen. Builds the drawing tool first (in build/ unless BUILD_DIR says otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vael-readme-screenshot
mkdir -p docs
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
XDG_DATA_HOME="$scratch" XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
  "$build/app/vael-readme-screenshot" docs/vault-window.png
echo "wrote docs/vault-window.png"
