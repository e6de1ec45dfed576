#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test tier:
# native unit tests, Windows unit tests and end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
scripts/package.sh --no-build
ctest --test-dir build/native --output-on-failure -j2 "$@"
