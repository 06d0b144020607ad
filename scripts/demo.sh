#!/usr/bin/env bash
# Builds the engine, the command-line host, the desktop editor and the bundled plug-ins, then runs the bundled demo
# recipe on the built-in sample picture: out/demo.png shows it before (left) and after (right).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target fxhost fxstudio fxbundledfilters fxbundledscripts fxlight fxcolour fxlocal fxdetail fxlens
mkdir -p out
build/bin/fxhost apply --recipe apps/fxhost/demo/demo.json --side-by-side -o out/demo.png --overwrite "$@"
