#!/usr/bin/env bash
# Builds everything and runs every test: the one command CI runs on a fresh Debian 12 machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset dev
cmake --build --preset dev
ctest --preset dev
