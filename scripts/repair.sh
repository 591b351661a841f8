#!/usr/bin/env bash
# Builds tavrin-repair and repairs the given .odb files into ./repaired/
# (or, given no files, the bundled damaged sample). ./repaired/ is this script's own
# folder: a second run replaces what the first one saved there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh" --runtime
(cd "$root" && cmake --preset dev >/dev/null && cmake --build --preset dev --target tavrin-repair)

if (($# == 0)); then
  set -- "$root/samples/damaged/Contacts-no-central-directory.odb"
fi
mkdir -p repaired
exec "$root/build/dev/cli/tavrin-repair" --force --output repaired "$@"
