#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if any are missing.
# As root it runs apt-get itself; otherwise it prints the exact command and fails.
#   scripts/install-deps.sh            build + test dependencies
#   scripts/install-deps.sh --runtime  only what building and running the programs needs
set -euo pipefail

runtime=(build-essential cmake ninja-build pkg-config zlib1g-dev qt6-base-dev
         fonts-liberation2 fonts-dejavu-core)
testing=(libgtest-dev libgmock-dev unzip zip python3 libarchive-tools xvfb xauth)

packages=("${runtime[@]}")
[[ "${1:-}" == "--runtime" ]] || packages+=("${testing[@]}")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}" >&2
if [[ $(id -u) -ne 0 ]]; then
  echo "Not root. Please run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
