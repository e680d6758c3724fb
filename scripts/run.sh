#!/usr/bin/env bash
# Sets up what is missing, builds the programs and the demo archive, and opens the demo in the window.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target kelvot kelvot-cli demo_archive
exec build/bin/kelvot build/samples/DEMO.DAT
