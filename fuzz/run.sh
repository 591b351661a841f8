#!/bin/bash
# Fuzzes each harness for a given time with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang needed; Debian: clang-14 libclang-rt-14-dev).
#
#   fuzz/run.sh [--parallel] SECONDS [HARNESS...]
#       harnesses: scan-extract raw-inflate round-trip html-render (the last needs Qt 6)
#   TAVRIN_FUZZ_TIMEOUT_SCALE=N multiplies the per-input time limits (a busy machine).
#
# Runs at the lowest priority, one harness after the other on one core, or with
# --parallel all at once (the cores are then shared among them). Sanitizer reports keep 4 frames of the
# stacks that allocated and freed memory, which makes every run much cheaper; replay
# a failing input with fuzz/run.sh's program (or the replay test) and
# ASAN_OPTIONS=malloc_context_size=30 for the whole stacks.
#
# Builds into build/fuzz, grows a working corpus in build/fuzz/corpus/<harness>
# (started from the committed one and the fixtures) and leaves any failing input in
# build/fuzz/artifacts/<harness>/. Copy a failing input into fuzz/corpus/<harness>/
# once the fault is mended, so the replay test keeps it mended; to refresh the
# committed corpus, merge: <program> -merge=1 fuzz/corpus/<harness> build/fuzz/corpus/<harness>
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build="$source_dir/build/fuzz"
parallel=no
if [ "${1:-}" = --parallel ]; then parallel=yes; shift; fi
seconds="${1:?usage: fuzz/run.sh [--parallel] SECONDS [HARNESS...]}"
shift
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(scan-extract raw-inflate round-trip html-render)
gui=OFF
for harness in "${harnesses[@]}"; do
  case "$harness" in
    scan-extract|raw-inflate|round-trip) ;;
    html-render) gui=ON ;;
    *) echo "unknown harness: $harness" >&2; exit 2 ;;
  esac
done

compiler="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$compiler" ]; then
  echo "clang++ not found: apt-get install clang-14 libclang-rt-14-dev" >&2
  exit 2
fi

cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DTAVRIN_SANITIZE=ON -DTAVRIN_FUZZ_ENGINE=ON -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_GUI=$gui >/dev/null
targets=()
for harness in "${harnesses[@]}"; do targets+=("fuzz_${harness//-/_}"); done
cmake --build "$build" -j "${TAVRIN_FUZZ_BUILD_JOBS:-2}" --target "${targets[@]}"

# Extraction writes real files for every input: keep them in memory when we can.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=4}"
export QT_QPA_PLATFORM=offscreen

fuzz_one() {
  local harness="$1" status=0
  local corpus="$build/corpus/$harness"
  local artifacts="$build/artifacts/$harness"
  mkdir -p "$corpus" "$artifacts"
  local seeds=("$here/corpus/$harness")
  [ "$harness" = scan-extract ] && seeds+=("$source_dir/tests/data/fixtures")
  # A package needs room for several headers and their data; a stream, a folder of
  # files or a page of markup shows its faults in 4 KiB as well as in more.
  local max_len=4096
  [ "$harness" = scan-extract ] && max_len=8192
  # Laying out 4 KiB of markup takes well under a second, even under the sanitizers:
  # anything slower is a layout that grows faster than its text.
  local timeout=20 rss_limit=2048
  # Qt keeps what it learns of every font family an input names, so the renderer's
  # harness grows by tens of MiB a minute without any leak of ours: room for hours.
  [ "$harness" = html-render ] && { timeout=5; rss_limit=12288; }
  # libFuzzer times an input by the wall clock: on a machine busy with builds a niced
  # run can be starved for seconds, so a shared machine scales the limits up.
  timeout=$((timeout * ${TAVRIN_FUZZ_TIMEOUT_SCALE:-1}))
  echo "== $harness: ${seconds}s"
  # A few KiB of input inflate to a few MiB at most, which keeps every run short; the
  # malloc limit turns an allocation of a size taken from a header into a failure.
  if ! nice -n 19 "$build/fuzz/fuzz_${harness//-/_}" "$corpus" "${seeds[@]}" \
      -max_total_time="$seconds" -max_len=$max_len -timeout=$timeout -rss_limit_mb=$rss_limit -malloc_limit_mb=256 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" 2>"$build/$harness.log"; then
    status=1
    echo "$harness: FAILED, see $build/$harness.log and $artifacts" >&2
  fi
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$build/$harness.log" || true
  echo "$harness corpus: $(find "$corpus" -type f | wc -l) files, $(du -sk "$corpus" | cut -f1) KiB"
  return $status
}

status=0
if [ $parallel = yes ]; then
  pids=()
  for harness in "${harnesses[@]}"; do fuzz_one "$harness" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
else
  for harness in "${harnesses[@]}"; do fuzz_one "$harness" || status=1; done
fi
exit $status
