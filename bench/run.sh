#!/usr/bin/env bash
# Times tavrin-repair (repair + save) on packages whose central directory is cut
# off, against what the same content costs with standard tools: bsdtar extracting
# the intact package plus zip -r -8 rebuilding it.  Prints wall time and peak
# resident memory of each step, the time ratio ours / (bsdtar + zip) (target: at
# most 0.45), our peak memory (target: under 100 MiB) and the size of our rebuilt
# package against zip -8's (target: at most 1 % larger).  Timings on a machine
# shared with other work are only as good as RUNS makes them.
#
#   bench/run.sh                 the ~170 MB package, the 20,000-member package, and a
#                                file of 1,000,000 stored one-byte members of one name
#                                (repair + save, target: under 15 s; no reference tool)
#   SCALE=0.01 bench/run.sh      the same shapes, small (a quick check of the script)
#   HUGE=1 bench/run.sh          also a package with one 1 GiB member (memory check)
#   RUNS=3 bench/run.sh          each timing the fastest of three runs (a busy machine)
#   TAVRIN_REPAIR=path bench/run.sh   another build of the tool
#
# Generated packages and outputs live in a temporary folder that is removed at exit.
# Inputs are read once before timing, so every tool reads them from the page cache.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
repair=${TAVRIN_REPAIR:-$root/build/dev/cli/tavrin-repair}
if [[ ! -x $repair ]]; then
  echo "bench/run.sh: $repair is not built (cmake --preset dev && cmake --build --preset dev)" >&2
  exit 2
fi
for tool in bsdtar zip /usr/bin/time /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "bench/run.sh: $tool is missing (apt-get install libarchive-tools zip time python3)" >&2
    exit 2
  fi
done

runs=${RUNS:-1}
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

generator_args=("$work/in")
[[ -n ${SCALE:-} ]] && generator_args+=(--scale "$SCALE")
[[ -n ${HUGE:-} ]] && generator_args+=(--huge)
echo "Generating packages in $work/in ..."
/usr/bin/python3 "$root/bench/make_packages.py" "${generator_args[@]}"
echo

# measure NAME PREPARE COMMAND...: runs the command RUNS times under /usr/bin/time,
# calling the shell function PREPARE before each run to clear its output; sets
# seconds (the fastest run) and peak (the largest resident size, KiB).  Stops the
# benchmark when the command fails, showing its output.
measure() {
  local name=$1 prepare=$2 run
  shift 2
  seconds='' peak=0
  for ((run = 0; run < runs; run++)); do
    "$prepare"
    if ! /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >"$work/output.txt" 2>&1; then
      echo "bench/run.sh: $name failed:" >&2
      tail -n 20 "$work/output.txt" >&2
      exit 1
    fi
    local run_seconds run_peak
    read -r run_seconds run_peak <"$work/time.txt"
    if [[ -z $seconds ]] || awk -v a="$run_seconds" -v b="$seconds" 'BEGIN { exit !(a < b) }'; then
      seconds=$run_seconds
    fi
    if ((run_peak > peak)); then peak=$run_peak; fi
  done
}
nothing() { :; }
fresh_output() { rm -rf "$work/out" && mkdir "$work/out"; }
fresh_extraction() { rm -rf "$work/extracted" && mkdir "$work/extracted"; }
fresh_archive() { rm -f "$work/rebuilt.odb"; }

mib() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }
members() { bsdtar -tf "$1" | grep -vc '/$' || true; }

printf '%-34s %18s %18s %18s %18s %7s %22s\n' package "tavrin-repair" "bsdtar -xf" "zip -r -8" \
  "scan only (--list)" ratio "size: ours / zip -8"
summary=()
packages=(large many)
[[ -n ${HUGE:-} ]] && packages+=(huge)
for name in "${packages[@]}"; do
  intact=$work/in/$name.odb
  damaged=$work/in/$name-no-central-directory.odb
  cat "$intact" "$damaged" >/dev/null

  measure "tavrin-repair --list" nothing "$repair" --list --no-color "$damaged"
  scan_s=$seconds
  measure "tavrin-repair" fresh_output "$repair" -q --no-color --no-media -o "$work/out" "$damaged"
  ours_s=$seconds ours_kb=$peak
  output=$work/out/TAVRINREP_$(basename "$damaged")
  [[ -f $output ]] || { echo "bench/run.sh: $output was not written" >&2; exit 1; }
  rebuilt_members=$(members "$output")

  measure "bsdtar -xf" fresh_extraction bsdtar -xf "$intact" -C "$work/extracted"
  tar_s=$seconds tar_kb=$peak
  measure "zip -r -8" fresh_archive \
    sh -c 'cd "$1" && zip -q -r -8 "$2" .' sh "$work/extracted" "$work/rebuilt.odb"
  zip_s=$seconds zip_kb=$peak
  reference_members=$(members "$work/rebuilt.odb")

  size=$(stat -c %s "$intact")
  label=$(awk -v s="$size" -v n="$name" 'BEGIN { printf "%s (%.0f MB)", n, s / 1e6 }')
  ratio=$(awk -v a="$ours_s" -v b="$tar_s" -v c="$zip_s" \
    'BEGIN { if (b + c > 0) printf "%.2f", a / (b + c); else print "n/a" }')
  ours_size=$(stat -c %s "$output")
  zip_size=$(stat -c %s "$work/rebuilt.odb")
  sizes=$(awk -v a="$ours_size" -v b="$zip_size" \
    'BEGIN { printf "%.1f / %.1f MB %+.2f%%", a / 1e6, b / 1e6, (a / b - 1) * 100 }')
  printf '%-34s %18s %18s %18s %18s %7s %22s\n' "$label" \
    "${ours_s} s $(mib "$ours_kb")" "${tar_s} s $(mib "$tar_kb")" \
    "${zip_s} s $(mib "$zip_kb")" "${scan_s} s" "$ratio" "$sizes"
  summary+=("$name: members in our rebuilt package $rebuilt_members, in zip's $reference_members")

  if [[ $name == large ]]; then
    measure "tavrin-repair with media" fresh_output "$repair" -q --no-color -o "$work/out" "$damaged"
    summary+=("$name with media extraction (the default): ${seconds} s, $(mib "$peak") peak")
  fi
done

# One name a million times: the scan and the choice among copies, not the codecs.
/usr/bin/python3 "$root/bench/make_packages.py" "$work/in" --same-name >/dev/null
same=$work/in/same-name.odb
cat "$same" >/dev/null
measure "tavrin-repair --list (same name)" nothing "$repair" --list --no-color "$same"
same_scan_s=$seconds
measure "tavrin-repair (same name)" fresh_output "$repair" -q --no-color --no-media -o "$work/out" "$same"
[[ -f $work/out/TAVRINREP_same-name.odb ]] || { echo "bench/run.sh: same-name.odb was not saved" >&2; exit 1; }
summary+=("same-name (1,000,000 one-byte members of one name, $(stat -c %s "$same") bytes):" \
  "  repair + save ${seconds} s, $(mib "$peak") peak (target: under 15 s); scan only (--list) ${same_scan_s} s")

echo
printf '%s\n' "${summary[@]}"
echo "ratio = tavrin-repair / (bsdtar -xf + zip -r -8), target <= 0.45;" \
  "tavrin-repair's peak under 100 MiB; size at most 1 % over zip -8's"
