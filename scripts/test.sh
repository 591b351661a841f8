#!/usr/bin/env bash
# Builds everything and runs every test: the one command CI runs on a fresh Debian 12 machine.
# The suite runs twice: in the optimised build, and again under AddressSanitizer and
# UndefinedBehaviorSanitizer, since damaged and hostile files are our normal input.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in dev asan; do
  echo "== $preset build and tests =="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
