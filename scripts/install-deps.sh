#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if any are missing.
# As root it runs apt-get itself; otherwise it prints the exact command and fails.
#   scripts/install-deps.sh            build + test dependencies
#   scripts/install-deps.sh --runtime  only what building and running the programs needs
set -euo pipefail

runtime=(build-essential cmake ninja-build pkg-config zlib1g-dev libdeflate-dev qt6-base-dev
         fonts-liberation2 fonts-dejavu-core)
testing=(libgtest-dev libgmock-dev unzip zip python3 libarchive-tools xvfb xauth
         desktop-file-utils appstream shared-mime-info)
# LibreOffice itself opens what we rebuild in the interop suite; it is installed with its
# recommended packages, as a desktop user would have it.
# firebird3.0-utils: gbak and isql-fb, with which the engine tests restore salvaged
# Firebird backups (the same Firebird 3 as LibreOffice's embedded engine).
office=(libreoffice-base libreoffice-sdbc-hsqldb libreoffice-sdbc-firebird default-jre-headless
        python3-uno libreoffice-script-provider-python firebird3.0-utils)

missing_of() {
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || printf '%s\n' "$p"
  done
}

mapfile -t missing < <(missing_of "${runtime[@]}")
mapfile -t missing_office < <(:)
if [[ "${1:-}" != "--runtime" ]]; then
  mapfile -t -O "${#missing[@]}" missing < <(missing_of "${testing[@]}")
  mapfile -t missing_office < <(missing_of "${office[@]}")
fi

if ((${#missing[@]} + ${#missing_office[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]} ${missing_office[*]}" >&2
if [[ $(id -u) -ne 0 ]]; then
  echo "Not root. Please run: sudo apt-get update && sudo apt-get install -y ${missing[*]} ${missing_office[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if ((${#missing[@]} > 0)); then
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ((${#missing_office[@]} > 0)); then
  apt-get install -y -qq "${missing_office[@]}" >/dev/null
fi
