#!/usr/bin/env bash
# Builds the engine and runs the command-line host on its built-in sample picture;
# the result is out/demo.png (and out/demo-view.png, the decimated view).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target fxhost
QT_QPA_PLATFORM=offscreen build/bin/fxhost --out out "$@"
